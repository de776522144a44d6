// The main dialog: the card form, the port box and the five command buttons.
#pragma once

#include "DialogBase.h"

class CZantorDlg final : public DialogBase {
public:
    CZantorDlg();

protected:
    BOOL OnInitDialog() override;
    INT_PTR RouteMessage(UINT message, WPARAM wParam) override;

private:
    bool OnSysCommand(UINT command);
    bool OnPaint();
    HICON OnQueryDragIcon();
    void OnOpenDevice();
    void OnCloseDevice();
    void OnDeviceStatus();
    void OnReadCard();
    void OnReadCardInfo();

    static const MessageEntry<CZantorDlg> kMessageMap[];

    // Shared icon from the program's resources; the system owns it.
    HICON m_hIcon;
};
