#ifndef TOVIRA_VERSION_H
#define TOVIRA_VERSION_H

// The one place for the version: read by the resource script's version record and by the code.
// Plain defines only, so that the resource compiler understands them.
#define TOVIRA_VERSION_MAJOR 1
#define TOVIRA_VERSION_MINOR 0
#define TOVIRA_VERSION_PATCH 0
#define TOVIRA_VERSION_BUILD 0
#define TOVIRA_VERSION_TEXT "1.00"

#define TOVIRA_COMPANY_NAME "QEV - Systems"
#define TOVIRA_PRODUCT_NAME "Tovira Vantero"
#define TOVIRA_INTERNAL_NAME "Tovira"
#define TOVIRA_ORIGINAL_FILENAME "Tovira.exe"
#define TOVIRA_FILE_DESCRIPTION "Tovira"

#endif
