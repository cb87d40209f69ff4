#pragma once

// A program that needs a window and finds no display says so and ends with its own code, instead of
// the platform's abort. Armed around the construction of the application object: Qt's fatal "no
// platform plugin" ends the process through here with `exitCode` and one sentence on standard error;
// what Qt said meanwhile is passed on once the application object stands.
namespace DisplayGuard {

void arm(const char *program, const char *sentence, int exitCode);
void disarm();

} // namespace DisplayGuard
