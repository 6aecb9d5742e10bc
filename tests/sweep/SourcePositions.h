#pragma once
// What the library's source says about its numbered routines: every position
// literal a routine reports with, and the step numbers that routine has.
#include <map>
#include <set>
#include <string>
#include <vector>

namespace marbrook::sweep {

struct RoutineSource {
    // Step numbers written as literals: step(104), step(c ? 151 : 146).
    std::set<int> literalSteps;
    // Step expressions that are not literals (step(first + 2)): their
    // numbers come from a table the sweep keeps.
    std::vector<std::string> computedSteps;
    // Where the position literal stands ("catalogue/Enumerators.cpp").
    std::set<std::string> files;
};

// Reads every .cpp file under the core folders of `sourceDir` and returns the
// routines by position literal ("Marbrook.frmOpenDialog.SetSub:"). The text
// of a routine is the function that declares its Steps, or the function the
// literal is handed to, together with every helper it passes its Steps to.
std::map<std::string, RoutineSource> ReadRoutines(const std::string& sourceDir);

// The text with comments blanked out (string and character literals kept).
std::string StripComments(const std::string& text);

} // namespace marbrook::sweep
