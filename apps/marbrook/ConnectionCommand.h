#pragma once
// The "connection create" command of the marbrook program.
namespace marbrook::cli {

// Runs "marbrook connection create --server H --instance I [--database D]
// --user U [--password -] [--version V] FOLDER"; returns the exit status:
// 0 written (its path printed), 1 the connection cannot be opened or no file
// can be written (one line on stderr), 2 bad usage.
int Connection(int argc, char** argv);

} // namespace marbrook::cli
