#pragma once

#include "platform/Form.h"
#include "platform/Services.h"

#include <memory>

namespace tovira {

// The form that the program starts with, made on the services it is given: the program defines it, and the
// platform's entry point shows it and runs until it closes.
std::unique_ptr<Form> CreateStartupForm(Services& services);

} // namespace tovira
