// The host tool's commands. Each takes the arguments after its name and returns the
// exit status: 0 success, 1 damaged archive or failed member, 2 bad usage or unreadable file.
#pragma once

int RunList(int argc, char** argv);
int RunInfo(int argc, char** argv);
int RunTest(int argc, char** argv);
int RunExtract(int argc, char** argv);
int RunPack(int argc, char** argv);
