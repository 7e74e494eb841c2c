/* Resource identifiers shared by the resource script and the C++ code. The
   resource compiler only understands the preprocessor, so these are macros;
   main_dialog.cpp checks them against the constants of ui/dialog.h. */
#pragma once

#define HALVEX_RC_IDD_MAIN 1001
#define HALVEX_RC_IDI_APP 8001
#define HALVEX_RC_IDC_DITHER 4001
#define HALVEX_RC_IDC_DITHER_LABEL 4002
#define HALVEX_RC_IDC_CANCEL_BUTTON 4003
#define HALVEX_RC_IDC_BROWSE 4004
#define HALVEX_RC_IDC_FILE_GROUP 4005
#define HALVEX_RC_IDC_FILE_NAME 4006
#define HALVEX_RC_IDC_GREEN_COMP 4007
