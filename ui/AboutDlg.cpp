#include "AboutDlg.h"

#include "resource.h"

CAboutDlg::CAboutDlg() : DialogBase(IDD_ABOUTBOX) {}
