#include "launcher/frmInstalador.h"
