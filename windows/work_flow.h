// The installer work flow that follows start-up.
#pragma once

// Runs the work flow for the flags of this start (quiet on this thread, or behind the progress
// dialog or an MSI wrapper's window) and returns when it is done.
void dispatchWorkFlow();

// Registers the "MyDialogClass" window class of the launcher's dialogs.
void registerDialogClass();
