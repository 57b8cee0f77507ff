#include "register/frmRegister.h"
