// The stub's window side: start-up, progress window, destination dialog and the
// actions that follow a finished run. All of it runs on the main thread.
#pragma once
#include <windows.h>

#include "archive/extractor.h"

// Builds the window side of the Extractor: runs InitializeApplication once, creates the
// hidden progress window and its controls and posts WM_SFX_START. False: the program ends.
bool ConstructExtractor(Extractor& extractor, HINSTANCE instance);
bool InitializeApplication(Extractor& extractor, HINSTANCE instance);
int RunMessageLoop();

extern HINSTANCE appInstance;
extern const wchar_t ProgressWindowClass[];

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool StartExtraction(Extractor& extractor);
void ShowCompactedName(Extractor& extractor, const WideChar* name);

// The destination dialog: result 0 when the destination is ready and the choices are
// stored, 1 when the user cancelled or the folder cannot be made.
INT_PTR CALLBACK DestinationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Creates the folder when needed and makes it the current directory; false after
// telling the user.
bool PrepareDestination(Extractor& extractor, const WideString& path);

void CreateShortcuts(Extractor& extractor);
void CreateShortcut(Extractor& extractor, int csidl);
void LaunchProgram(Extractor& extractor);

inline const wchar_t* Native(const WideChar* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Native(WideChar* text) { return reinterpret_cast<wchar_t*>(text); }
