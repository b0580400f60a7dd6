// The host tool's commands. Each takes the arguments after its name and returns the
// exit status: 0 success, 1 damaged archive or failed member, 2 bad usage or unreadable file.
#pragma once

int RunList(int argc, char** argv);
int RunInfo(int argc, char** argv);
int RunTest(int argc, char** argv);
int RunExtract(int argc, char** argv);
int RunPack(int argc, char** argv);

struct ToolArguments;
// test, and extract --stdout: decodes the chosen members into nothing or standard output,
// checking each CRC-16, and says how each one came out.
int DecodeChosenMembers(const char* command, const ToolArguments& args, bool toStdout);
