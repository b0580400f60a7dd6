// Resource and control ids of the stub.
#pragma once

#define IDI_APP 102
#define IDD_DESTINATION 103

#define IDC_DESTINATION 1000
#define IDC_BROWSE 1001
#define IDC_STARTMENU 1002
#define IDC_DESKTOP 1003
#define IDC_SENDTO 1004
#define IDC_DESTINATION_LABEL 1005
#define IDC_ABORT 1017
