#include "CardInfoCommand.h"

#include <cstdint>

#include "ContractNotes.h"
#include "Mervik.h"
#include "PhotoFile.h"
#include "ResultMessage.h"
#include "TextLength.h"
#include "ZeroedBuffer.h"
#include "resource.h"

namespace {

struct FieldTarget {
    std::int32_t index;
    int control;
};

// The fields after the name, in call order; index 9 is never asked for.
constexpr FieldTarget kFields[] = {
    {mervik::kFieldSex, IDC_EDIT_SEX},
    {mervik::kFieldNation, IDC_EDIT_NATION},
    {mervik::kFieldBirth, IDC_EDIT_BIRTH},
    {mervik::kFieldAddress, IDC_EDIT_ADDRESS},
    {mervik::kFieldIdNumber, IDC_EDIT_IDNUMBER},
    {mervik::kFieldAuthority, IDC_EDIT_AUTHORITY},
    {mervik::kFieldValidFrom, IDC_EDIT_VALIDFROM},
    {mervik::kFieldValidTo, IDC_EDIT_VALIDTO},
    {mervik::kFieldPhotoName, IDC_EDIT_PHOTONAME},
};

constexpr std::size_t kFieldCount = sizeof kFields / sizeof kFields[0];

constexpr const wchar_t* kOperation = L"GetCardInfo";

// The message for what became of the photo file; null when it was saved.
const wchar_t* PhotoMessage(PhotoResult result)
{
    switch (result) {
    case PhotoResult::kSaved:
        return nullptr;
    case PhotoResult::kNoMemory:
        return kNoMemoryMessage;
    case PhotoResult::kCannotOpen:
        return L"无法打开文件";
    case PhotoResult::kWriteFailed:
        return L"写入文件失败";
    }
    return nullptr;
}

Message NoMemory()
{
    Message message;
    message.Append(kNoMemoryMessage);
    return message;
}

// Shows `message` with the notes after it.
void ShowWithNotes(CommandHost& host, Message message, const ContractNotes& notes)
{
    notes.AppendTo(message);
    host.ShowMessage(message.c_str());
}

// Shows the fault of a call that raised writing `value` and `error`, with the notes.
__attribute__((noinline)) void ShowFault(CommandHost& host, const CallOutcome& raised, const ZeroedBuffer& value,
                                         const ZeroedBuffer& error, const ContractNotes& notes)
{
    ShowWithNotes(host, FaultMessage(kOperation, raised, {value.AsLibraryBuffer(), error.AsLibraryBuffer()}), notes);
}

}  // namespace

void RunReadCardInfo(CommandHost& host, Reader& reader, const Allocator& buffers)
{
    ZeroedBuffer value(mervik::kTextBufferSize, buffers);
    const ZeroedBuffer error(mervik::kTextBufferSize, buffers);
    if (!value || !error) {
        host.ShowMessage(kNoMemoryMessage);
        return;
    }

    // The notes of every call, shown with the command's last message, or in a
    // box of their own when the command shows none.
    ContractNotes notes;
    const auto fault = [&](const CallOutcome& raised, const ZeroedBuffer& buffer) {
        ShowFault(host, raised, buffer, error, notes);
    };

    // Only the name call's result is examined: a box when it is not 0.
    reader.NextCallFollows();
    CallOutcome outcome = reader.GetCardInfo(mervik::kFieldName, value.chars(), error.chars());
    notes.Add(kOperation, outcome);
    if (outcome.raised) {
        fault(outcome, value);
        return;
    }
    if (outcome.result == 0) {
        host.SetControlText(IDC_EDIT_NAME, TextFromBuffer(value.chars(), value.size()).c_str());
    } else {
        host.ShowMessage(FailureMessage(L"信息读取失败！", error.chars(), error.size(), outcome.result).c_str());
    }

    // The other boxes show what the reader wrote, whatever it returned. The
    // error buffer is not cleared again. Between these calls nothing but a box's
    // text is set, so each call but the last is followed at once by the next.
    for (const FieldTarget& field : kFields) {
        if (&field != &kFields[kFieldCount - 1])
            reader.NextCallFollows();
        value.Clear();
        outcome = reader.GetCardInfo(field.index, value.chars(), error.chars());
        notes.Add(kOperation, outcome);
        if (outcome.raised) {
            fault(outcome, value);
            return;
        }
        host.SetControlText(field.control, TextFromBuffer(value.chars(), value.size()).c_str());
    }

    const ZeroedBuffer photo(mervik::kPhotoTextBufferSize, buffers);
    if (!photo) {
        ShowWithNotes(host, NoMemory(), notes);
        return;
    }
    outcome = reader.GetCardInfo(mervik::kFieldPhoto, photo.chars(), error.chars());
    notes.Add(kOperation, outcome);
    if (outcome.raised) {
        fault(outcome, photo);
        return;
    }
    // Measured once: the length box and the photo file share it.
    const std::size_t length = BoundedLength(photo.chars(), photo.size());
    NarrowText<24> lengthText;  // 20 digits hold any size
    host.SetControlText(IDC_EDIT_PHOTOLEN, lengthText.AppendDecimal(static_cast<std::int64_t>(length)).c_str());
    if (const wchar_t* failure = PhotoMessage(SavePhoto(photo.chars(), length, buffers.OwnUse()))) {
        Message message;
        message.Append(failure);
        ShowWithNotes(host, message, notes);
    } else if (!notes.empty()) {
        ShowWithNotes(host, Message(), notes);
    }
}
