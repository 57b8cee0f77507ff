#pragma once

#include "platform/Form.h"
#include "platform/Services.h"

namespace tovira {

// The recovery window that the launcher's failed start-up opens: register a missing component.
class frmRegister : public Form {
public:
    explicit frmRegister(Services& services);

    Frame Frame1{"Frame1"};
    CommandButton cmdRegArquivo{"cmdRegArquivo"};
    CommandButton cmdCancela{"cmdCancela"};
    ListBox lstArquivos{"lstArquivos"};
    Label lblErro{"lblErro"};
    Label Label1{"Label1"};

    void Form_Load();
    void cmdRegArquivo_Click();
    void cmdCancela_Click();

private:
    void AddMatchingFiles(const std::string& pattern);

    Services& services_;
};

} // namespace tovira
