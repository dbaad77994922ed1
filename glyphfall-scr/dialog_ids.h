// Resource and control numbers of the screen saver's settings dialog.
#pragma once
#define IDD_SETTINGS 100
#define IDC_SPEED 101
#define IDC_SHOW_STEPS 102
