#pragma once

#include "platform/Services.h"

#include <optional>
#include <string>

namespace tovira {

// The exit code of an elevated instance that refused its argument, which is not the plain name of a component in
// its own folder. Its other failures return their run-time error numbers, which are never 2.
inline constexpr int kRegistrarRefused = 2;

// Copies the component of the Application folder into the system folder, replacing one of that name, and starts the
// registration tool on the copy; waits for neither. Raises the error of the step that fails.
void RegisterComponent(Services& services, const std::string& fileName);

// Has an elevated instance of this program register the component, once the user consents; raises the error that
// instance met, or the refusal of consent.
void RegisterThroughElevatedInstance(Services& services, const std::string& fileName);

// The elevated instance: for the arguments "/registrar NAME" ("/registrar "NAME"" where the name holds spaces) it
// registers NAME and returns the exit code; for any other command line nothing, and the windows start as ever.
std::optional<int> RunRegistrarCommand(Services& services, const std::string& arguments);

} // namespace tovira
