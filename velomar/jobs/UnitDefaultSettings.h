#pragma once
// First-run defaults and the numbered upgrade steps of the settings file.

// The text written as the anonymous FTP password on a first run.
extern const char* const kAnonymousPassword;

// Runs the first-run step and every upgrade step whose flag in "Main" is not
// yet set; each step sets its flag first. Needs SettingsFile.
void InstallDefaults();
