#include "DialogHost.h"

#include "ApplicationName.h"

std::string DialogHost::GetControlText(int id)
{
    const int length = GetWindowTextLengthA(GetDlgItem(m_dialog, id));
    if (length <= 0)
        return std::string();
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const UINT copied = GetDlgItemTextA(m_dialog, id, text.data(), length + 1);
    text.resize(copied);
    return text;
}

void DialogHost::SetControlText(int id, const std::string& text)
{
    SetDlgItemTextA(m_dialog, id, text.c_str());
}

void DialogHost::ShowMessage(const std::wstring& text)
{
    const char* name = ApplicationName();
    wchar_t caption[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, name, -1, caption, MAX_PATH);
    MessageBoxW(m_dialog, text.c_str(), caption, 0);
}
