#pragma once

#include "platform/Form.h"
#include "platform/Services.h"
#include "register/frmRegister.h"

#include <memory>

namespace tovira {

// The launcher: the start-up and main window.
//
// Its menu, row by row from the top: the label that shows the item and takes the mouse, the dark lamp that covers
// the row's lit lamp until the pointer is over the label, and what a click does. Covers are numbered by row; the
// labels and lit lamps are not.
//
//   row  top (twips)  label   caption                    cover  lit lamp  click
//   1    1260         Label3  "Abrir Manual"             img01  Image2    opens the handbook
//   2    1740         Label1  "Instalar Acrobat Reader"  img02  Image7    asks, then starts the reader's installer
//   3    2220         Label2  "Explorar"                 img03  Image8    starts the file manager
//   4    2700         Label4  "Finalizar"                img04  Image9    ends the program
class frmInstalador : public Form {
public:
    explicit frmInstalador(Services& services);

    PictureBox pctLogo{"pctLogo"};
    Label Label7{"Label7"};
    Label Label6{"Label6"};
    Label Label4{"Label4"};
    Label Label3{"Label3"};
    Label Label2{"Label2"};
    Label Label1{"Label1"};
    Line Line2{"Line2"};
    Shape Shape1{"Shape1"};
    Image img01{"img01"};
    Image img04{"img04"};
    Image img03{"img03"};
    Image img02{"img02"};
    Image Image2{"Image2"};
    Label lblMsg{"lblMsg"};
    Image Image9{"Image9"};
    Image Image8{"Image8"};
    Image Image7{"Image7"};
    Line Line1{"Line1"};

    void Form_Load();

    void Label1_MouseMove();
    void Label2_MouseMove();
    void Label3_MouseMove();
    void Label4_MouseMove();
    void Form_MouseMove();
    void Label7_MouseMove();
    void pctLogo_MouseMove();

    void Label1_Click();
    void Label2_Click();
    void Label3_Click();
    void Label4_Click();
    void Label7_Click();

private:
    void ResetMenuHighlight();
    void Highlight(const std::string& hint, Image& cover, Label& label);
    void ReportStartupError(const RuntimeError& error);

    Services& services_;
    // Made by the start-up error handler only, at most once per run.
    std::unique_ptr<frmRegister> frmRegister_;
};

} // namespace tovira
