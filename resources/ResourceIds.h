#pragma once

// Shared by the resource script and the code that loads the resources.
#define IDI_PROGRAM 1
#define IDI_DARK_LAMP 2
#define IDI_LIT_LAMP 3
#define IDC_HAND_POINTER 101
#define IDR_MENU_PANEL 201
