#include "platform/ProgramEntry.h"

#include "launcher/frmInstalador.h"
#include "register/Registrar.h"

namespace tovira {

std::unique_ptr<Form> CreateStartupForm(Services& services) {
    return std::make_unique<frmInstalador>(services);
}

std::optional<int> RunCommandLineTask(Services& services, const std::string& arguments) {
    return RunRegistrarCommand(services, arguments);
}

} // namespace tovira
