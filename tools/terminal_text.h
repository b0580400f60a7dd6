// Text for the terminal. A name from an archive or a folder may hold what a terminal
// takes as commands (C0 and C1 controls, DEL), what reorders the characters around it
// (bidirectional controls, so that "invoice\u202Egpj.exe" shows as "invoiceexe.jpg"),
// line separators, and bytes that are no UTF-8. Each of those is shown escaped
// ("\x1b", "\u202e"; a stray byte as "\xff"); everything else is shown as it is.
#pragma once
#include <string>

std::string TerminalText(const std::string& utf8);
