#include "register/frmRegister.h"

#include "platform/Text.h"
#include "register/Registrar.h"

namespace tovira {

namespace {

const char* const kInstruction =
    "Selecione o Arquivo que foi solicitado pela mensagem abaixo. Se o Arquivo solicitado não estiver na Lista, "
    "entre em contato com o Fornecedor deste Aplicativo, e solicite que este Arquivo lhe seja enviado.";

constexpr Color kDarkBlue{0, 0, 192};

void StyleMessageLabel(Label& label) {
    label.foreColor = kDarkBlue;
    label.borderSingle = true;
    label.wordWrap = true;
    label.windowed = true;
}

} // namespace

frmRegister::frmRegister(Services& services) : Form("frmRegister"), services_(services) {
    caption = "QEV Register";
    clientWidth = 5010;
    clientHeight = 3750;
    borderStyle = BorderStyle::FixedDialog;
    minButton = false;
    clientOrigin = TwipsPoint{3495, 2535};

    Frame1.Move(120, 1200, 4755, 1335);
    Frame1.caption = "Arquivo para Registro no Windows";
    Frame1.font = Font{"MS Sans Serif", 8.25, true};
    Frame1.tabIndex = 0;

    cmdRegArquivo.Move(3000, 300, 1575, 375);
    cmdRegArquivo.container = &Frame1;
    cmdRegArquivo.caption = "&Registrar Agora";
    cmdRegArquivo.tabIndex = 5;

    cmdCancela.Move(3000, 720, 1575, 375);
    cmdCancela.container = &Frame1;
    cmdCancela.caption = "&Cancela";
    cmdCancela.tabIndex = 4;

    lstArquivos.Move(180, 300, 2655, 840);
    lstArquivos.container = &Frame1;
    lstArquivos.tabIndex = 1;

    lblErro.Move(120, 2700, 4755, 915);
    StyleMessageLabel(lblErro);
    lblErro.tabIndex = 3;

    Label1.Move(120, 120, 4755, 915);
    StyleMessageLabel(Label1);
    Label1.caption = kInstruction;
    Label1.tabIndex = 2;

    SetStackingOrder({&Frame1, &cmdRegArquivo, &cmdCancela, &lstArquivos, &lblErro, &Label1});

    Load = [this] { Form_Load(); };
    cmdRegArquivo.Click = [this] { cmdRegArquivo_Click(); };
    cmdCancela.Click = [this] { cmdCancela_Click(); };
}

// Names are joined to the Application folder with a backslash of their own, not with JoinPath, on purpose: at a
// drive root the path holds two backslashes in a row (D:\\*.dll), as designed, and Windows reads them as one.
void frmRegister::Form_Load() {
    AddMatchingFiles(services_.ApplicationFolder() + "\\*.dll");
    AddMatchingFiles(services_.ApplicationFolder() + "\\*.ocx");
}

void frmRegister::AddMatchingFiles(const std::string& pattern) {
    for (std::string file = services_.ListFiles(pattern); !file.empty(); file = services_.ListNextFile()) {
        lstArquivos.AddItem(file);
    }
}

void frmRegister::cmdRegArquivo_Click() {
    try {
        const int selected = lstArquivos.listIndex;
        if (selected < 0 || static_cast<std::size_t>(selected) >= lstArquivos.items.size()) {
            services_.ShowMessage("Selecione um Arquivo para Registro.", kMbExclamation);
            return;
        }
        services_.SetBusyCursor(true);
        const std::string& fileName = lstArquivos.items[static_cast<std::size_t>(selected)];
        // A standard user, or an administrator whose programs start without their rights, may write neither into
        // the system folder nor into the machine's registry: an elevated instance does, once the user consents.
        if (services_.RunsElevated()) {
            RegisterComponent(services_, fileName);
        } else {
            RegisterThroughElevatedInstance(services_, fileName);
        }
        services_.SetBusyCursor(false);
        services_.EndProgram();
    } catch (const RuntimeError& error) {
        services_.ShowMessage(std::string("O Arquivo não pode ser Registrado.") + kCR +
                                  "Erro: " + std::to_string(error.Number()) + " - " + error.Description(),
                              kMbOkOnly);
        services_.SetBusyCursor(false);
    }
}

void frmRegister::cmdCancela_Click() {
    services_.EndProgram();
}

} // namespace tovira
