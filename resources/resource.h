// Resource numbers shared by the resource script and the program.
#pragma once

#define IDI_APP 107
#define IDD_UNINSTALL 129
#define IDD_RESULT 130
#define IDC_NOTICE 1000
