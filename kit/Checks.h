#pragma once

#include "kit/Medium.h"

#include <string>
#include <vector>

// What the kit checks before anything is written.
namespace tovira::kit {

struct Problem {
    bool error; // else a warning: the medium is made all the same
    std::string text;
};

// Every problem of the plan, one line each, before anything is written: the inputs, the outputs, the signing
// certificate and the tools that the run needs. File-system errors are problems too.
std::vector<Problem> CheckPlan(const MediumPlan& plan);

} // namespace tovira::kit
