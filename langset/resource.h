// Resource identifiers of the language switcher (shared by the resource script and the code).
#pragma once

#define IDD_LANGSET 103

#define IDC_SET_ENGLISH 1000
#define IDC_SET_CHINESE 1001
#define IDC_SCAN_PROGRESS 1002
