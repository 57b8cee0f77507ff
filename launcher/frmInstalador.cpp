#include "launcher/frmInstalador.h"

#include "BuildSettings.h"
#include "launcher/MediumFiles.h"
#include "platform/Text.h"

#include <cmath>

namespace tovira {

namespace {

const char* const kPlaceholder =
    "Espaço reservado para o Logotipo da Empresa. (\"<Local deste Aplicativo>\\ImgLogo.bmp\")";

const char* const kHintInstall = "Iniciar a Instalação do Aplicativo ''Acrobat Reader'' em seu Micro.";
const char* const kHintExplore = "Iniciar o Explorer do Windows.";
const char* const kHintManual = "Abrir o Manual, utilizando o Aplicativo ''Acrobat Reader''.";
const char* const kHintFinish = "Finalizar Este Aplicativo.";

const char* const kInstallQuestion = "Deseja iniciar a Instalação do Acrobat Reader agora?";
const char* const kStartCommand = "c:\\windows\\command\\start ";
const char* const kReaderTitle = "Acrobat Reader";

std::string ManualWarning() {
    return std::string("Não foi possível abrir o Manual.") + kCR + kCR +
           "Se o Acrobat Reader não estiver Instalado em seu Computador, clique em ''Instalar Acrobat Reader'' "
           "para Instala-lo agora." +
           kCR +
           "Se já estiver Instalado, e mesmo assim o Aplicativo não pode abrir o Manual, verifique se o arquivo "
           "''Indice.pdf'' esta localizado no mesmo diretório que este Aplicativo (tovira.exe).";
}

// Geometry arithmetic that overflows or turns invalid is a run-time error, as it would be for the
// window system that receives the value.
double Checked(double value) {
    if (!std::isfinite(value)) {
        throw RuntimeError(kErrOverflow);
    }
    return value;
}

void StyleMenuLabel(Label& label, const char* caption, double left, double top, double width) {
    label.caption = caption;
    label.Move(left, top, width, 240);
    label.foreColor = kWhite;
    label.font = Font{"MS Sans Serif", 9.75, false};
    label.autoSize = true;
    label.mousePointer = MousePointer::Hand;
}

void PlaceLamp(Image& image, StockPicture picture, double top) {
    image.picture = picture;
    image.Move(180, top, 240, 240);
}

} // namespace

frmInstalador::frmInstalador(Services& services) : Form("frmInstalador"), services_(services) {
    caption = "Tovira";
    clientWidth = medium::kClientWidth;
    clientHeight = medium::kClientHeight;
    borderStyle = BorderStyle::FixedSingle;
    backColor = kBlack;
    picture = StockPicture::MenuPanel;
    icon = StockPicture::ProgramIcon;

    pctLogo.Move(medium::kLogoLeft, 0, 6315, 4980);
    pctLogo.backColor = kSilver;
    pctLogo.visible = false;

    Label7.Move(720, 180, 1815, 675);
    Label7.mousePointer = MousePointer::Hand;
    Label7.toolTipText = kVendorWebAddress;

    Label6.Move(4620, 2100, 3555, 615);
    Label6.caption = kPlaceholder;
    Label6.foreColor = kWhite;
    Label6.backColor = kBlack;
    Label6.alignment = Alignment::Center;
    Label6.wordWrap = true;

    StyleMenuLabel(Label4, "Finalizar", 480, 2700, 750);
    StyleMenuLabel(Label3, "Abrir Manual", 480, 1260, 1125);
    StyleMenuLabel(Label2, "Explorar", 465, 2220, 750);
    StyleMenuLabel(Label1, "Instalar Acrobat Reader", 480, 1740, 2130);

    Line2.SetEnds(300, 3900, 600, 3900);

    Shape1.Move(600, 3420, 1815, 975);

    PlaceLamp(img01, StockPicture::DarkLamp, 1260);
    PlaceLamp(img04, StockPicture::DarkLamp, 2700);
    PlaceLamp(img03, StockPicture::DarkLamp, 2220);
    PlaceLamp(img02, StockPicture::DarkLamp, 1740);
    PlaceLamp(Image2, StockPicture::LitLamp, 1260);

    lblMsg.Move(720, 3540, 1575, 795);
    lblMsg.foreColor = kWhite;
    lblMsg.alignment = Alignment::Center;
    lblMsg.wordWrap = true;

    PlaceLamp(Image9, StockPicture::LitLamp, 2700);
    PlaceLamp(Image8, StockPicture::LitLamp, 2220);
    PlaceLamp(Image7, StockPicture::LitLamp, 1740);

    Line1.SetEnds(300, 0, 300, 3900);

    SetStackingOrder({&pctLogo, &Label7, &Label6, &Label4, &Label3, &Label2, &Label1, &Line2, &Shape1, &img01, &img04,
                      &img03, &img02, &Image2, &lblMsg, &Image9, &Image8, &Image7, &Line1});

    // The vendor's logo, the menu from the top row down with each item's hint, the status line, then the company
    // logo or, while it is hidden, its placeholder.
    readingOrder = {
        {Label7, AccessibleRole::Link, kVendorWebAddress, "", kVendorWebAddress},
        {Label3, AccessibleRole::Link, "", kHintManual},
        {Label1, AccessibleRole::Link, "", kHintInstall},
        {Label2, AccessibleRole::Link, "", kHintExplore},
        {Label4, AccessibleRole::Link, "", kHintFinish},
        {lblMsg, AccessibleRole::StaticText},
        {pctLogo, AccessibleRole::Graphic, "Logotipo da Empresa"},
        {Label6, AccessibleRole::StaticText},
    };

    Load = [this] { Form_Load(); };
    MouseMove = [this] { Form_MouseMove(); };
    Label1.MouseMove = [this] { Label1_MouseMove(); };
    Label2.MouseMove = [this] { Label2_MouseMove(); };
    Label3.MouseMove = [this] { Label3_MouseMove(); };
    Label4.MouseMove = [this] { Label4_MouseMove(); };
    Label7.MouseMove = [this] { Label7_MouseMove(); };
    pctLogo.MouseMove = [this] { pctLogo_MouseMove(); };
    Label1.Click = [this] { Label1_Click(); };
    Label2.Click = [this] { Label2_Click(); };
    Label3.Click = [this] { Label3_Click(); };
    Label4.Click = [this] { Label4_Click(); };
    Label7.Click = [this] { Label7_Click(); };
}

void frmInstalador::Form_Load() {
    try {
        const ScreenTwips screen = services_.ScreenSize();
        left = Checked(screen.width / 2 - width / 2);
        top = Checked(screen.height / 2 - height / 2);
        pctLogo.top = 0;
        pctLogo.left = medium::kLogoLeft;
        pctLogo.height = Checked(height - 200);
        pctLogo.width = Checked(width - medium::kLogoLeft);
        const std::string logoPath = JoinPath(services_.ApplicationFolder(), medium::kLogo);
        pctLogo.picture = services_.LoadPictureFile(logoPath);
        pctLogo.visible = true;
    } catch (const RuntimeError& error) {
        ReportStartupError(error);
    }
}

// Runs outside the guarded steps on purpose: a failure while showing the registration window is
// left to the runtime's default report.
void frmInstalador::ReportStartupError(const RuntimeError& error) {
    if (error.Number() <= 0) {
        return;
    }
    if (!frmRegister_) {
        frmRegister_ = std::make_unique<frmRegister>(services_);
        services_.LoadForm(*frmRegister_);
    }
    frmRegister_->lblErro.caption =
        "Erro N°: " + std::to_string(error.Number()) + kCR + "Descrição: " + error.Description();
    services_.ShowWindowModal(*frmRegister_);
}

void frmInstalador::Highlight(const std::string& hint, Image& cover, Label& label) {
    lblMsg.caption = hint;
    cover.visible = false;
    label.font.bold = true;
}

void frmInstalador::ResetMenuHighlight() {
    lblMsg.caption = "";
    Label1.font.bold = false;
    Label2.font.bold = false;
    Label3.font.bold = false;
    Label4.font.bold = false;
    img01.visible = true;
    img02.visible = true;
    img03.visible = true;
    img04.visible = true;
}

// The covers are numbered by row from the top; the labels are not.
void frmInstalador::Label1_MouseMove() {
    Highlight(kHintInstall, img02, Label1);
}
void frmInstalador::Label2_MouseMove() {
    Highlight(kHintExplore, img03, Label2);
}
void frmInstalador::Label3_MouseMove() {
    Highlight(kHintManual, img01, Label3);
}
void frmInstalador::Label4_MouseMove() {
    Highlight(kHintFinish, img04, Label4);
}
void frmInstalador::Form_MouseMove() {
    ResetMenuHighlight();
}
void frmInstalador::Label7_MouseMove() {
    ResetMenuHighlight();
}
void frmInstalador::pctLogo_MouseMove() {
    ResetMenuHighlight();
}

void frmInstalador::Label1_Click() {
    services_.SetBusyCursor(true);
    if (services_.ShowMessage(kInstallQuestion, kMbYesNo + kMbQuestion) == kAnswerYes) {
        const std::string installer = JoinPath(services_.ApplicationFolder(), medium::kInstaller);
        try {
            services_.StartProgram(Quoted(installer), kShowNormal);
        } catch (const RuntimeError& error) {
            // An installer whose manifest asks for an administrator starts only through the shell, which asks the
            // user for consent; every other failure goes to the runtime's report as before.
            if (!error.NeedsElevation()) {
                throw;
            }
            services_.StartProgramWithConsent(installer, kShowNormal);
        }
    }
    services_.SetBusyCursor(false);
}

void frmInstalador::Label2_Click() {
    services_.StartProgram("Explorer.exe", kShowMaximized);
}

// The warning follows the shell's own verdict on the document. The reader's window is brought
// forward when it is already there, but a reader that has not drawn it yet is no failure.
void frmInstalador::Label3_Click() {
    bool opened = false;
    try {
        // Not JoinPath, unlike the logo and the installer, on purpose: the handbook's path always gets a backslash
        // of its own, so at a drive root it holds two in a row (D:\\Indice.pdf), as designed.
        opened = services_.ShellExecuteOpen(services_.ApplicationFolder() + "\\" + medium::kHandbook, kShowMaximized);
    } catch (const RuntimeError&) {
        // A folder that cannot be told is a handbook that cannot be opened: the warning says what to do.
    }
    if (!opened) {
        services_.ShowMessage(ManualWarning(), kMbExclamation);
        return;
    }
    try {
        services_.ActivateWindow(kReaderTitle, true);
    } catch (const RuntimeError&) {
        // The reader may not have drawn its window yet, or titles it otherwise: the handbook did open.
    }
}

void frmInstalador::Label4_Click() {
    services_.EndProgram();
}

// The old start command exists only on the oldest Windows; where it is missing, the shell's handler for web
// addresses opens the site. Any other failure to start it is the runtime's to report.
void frmInstalador::Label7_Click() {
    services_.SetBusyCursor(true);
    try {
        services_.StartProgram(std::string(kStartCommand) + kVendorWebAddress, kShowHidden);
    } catch (const RuntimeError& error) {
        const bool missing = error.Number() == kErrFileNotFound || error.Number() == kErrPathNotFound;
        if (!missing || !services_.ShellExecuteOpen(kVendorWebAddress, kShowNormal)) {
            throw;
        }
    }
    services_.SetBusyCursor(false);
}

} // namespace tovira
