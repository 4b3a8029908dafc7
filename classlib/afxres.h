// Standard command and string ids of the class library (usable from .rc files).
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#define AFX_IDS_APP_TITLE 0xE000
#define ID_APPLY_NOW 0x3021
#define ID_WIZBACK 0x3023
#define ID_WIZNEXT 0x3024
#define ID_WIZFINISH 0x3025
#define ID_HELP 0xE146
#define ID_CONTEXT_HELP 0xE145
#define ID_DEFAULT_HELP 0xE147
#define ID_APP_ABOUT 0xE140
#define ID_APP_EXIT 0xE141
