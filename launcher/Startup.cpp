#include "platform/Startup.h"

#include "launcher/frmInstalador.h"

namespace tovira {

std::unique_ptr<Form> CreateStartupForm(Services& services) {
    return std::make_unique<frmInstalador>(services);
}

} // namespace tovira
