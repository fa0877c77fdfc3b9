// Resource and control identifiers of the program's windows.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_QRTUPDATE_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BANNER_QRT 135
#define IDB_BANNER_ZVN 138
#define IDS_ABOUTBOX 101
#define IDM_ABOUTBOX 0x0010
#define IDM_INFO IDM_ABOUTBOX

#define IDOK 1
#define IDCANCEL 2
// The standard Help command (F1), handled by the application object.
#define ID_HELP 0xE146

// Main window (template 102)
#define IDC_CHECK 1000
#define IDC_PROGRESS 1002
#define IDC_INFO 1004
#define IDC_LIST 1005
#define IDC_USBPROBE 1006
#define IDC_FRONTFILE 1007
#define IDC_UPDATE 1008
#define IDC_CHANNELFILE 1009
#define IDC_CREATE_ENC 1010
#define IDC_CHANNELFILE_BTN 1011
#define IDC_INTERFACE 1015
#define IDC_DEVICE 1017
#define IDC_GPIBADDRESS 1018
#define IDC_BRANDLINE 1019
#define IDC_BANNER_QRT 1020
#define IDC_BANNER_ZVN 1021

// Info dialog (template 100)
#define IDC_INFO_PROGRAM 1021
#define IDC_INFO_FIRMWARE 1022
#define IDC_INFO_OWNER 1023

#define IDC_STATIC (-1)
