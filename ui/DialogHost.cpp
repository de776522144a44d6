#include "DialogHost.h"

#include "ApplicationName.h"

void DialogHost::GetControlText(int id, char* text, std::size_t capacity)
{
    text[0] = '\0';
    GetDlgItemTextA(m_dialog, id, text, static_cast<int>(capacity));
}

void DialogHost::SetControlText(int id, const char* text)
{
    SetDlgItemTextA(m_dialog, id, text);
}

void DialogHost::ShowMessage(const wchar_t* text)
{
    ShowApplicationMessage(m_dialog, text);
}
