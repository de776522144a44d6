// The main dialog: the card form, the port box and the five command buttons.
#pragma once

#include "DeviceCommands.h"
#include "DialogBase.h"

class BurnInRun;

class CZantorDlg final : public DialogBase {
public:
    CZantorDlg();
    // Makes the dialog run `burnIn` on its own once it opens, instead of waiting
    // for presses; the dialog then ends with the run's exit code.
    void SetBurnIn(BurnInRun* burnIn) { m_burnIn = burnIn; }

protected:
    BOOL OnInitDialog() override;
    INT_PTR RouteMessage(UINT message, WPARAM wParam) override;

private:
    void OnSysCommand();
    void OnPaint();
    HICON OnQueryDragIcon();
    void OnOpenDevice();
    void OnCloseDevice();
    void OnDeviceStatus();
    void OnReadCard();
    void OnReadCardInfo();
    void OnBurnInStep();

    // Runs one of the window-free commands against this dialog, the imported
    // reader library and guard-paged buffers.
    using Runner = void (*)(CommandHost& host, Reader& reader, const Allocator& buffers);
    void Execute(Runner command);

    static const CommandEntry kCommandMap[];

    // Shared icon from the program's resources; the system owns it.
    HICON m_hIcon;
    BurnInRun* m_burnIn = nullptr;
};
