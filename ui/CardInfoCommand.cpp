#include "CardInfoCommand.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "PhotoFile.h"
#include "ResultMessage.h"
#include "resource.h"

namespace {

constexpr std::size_t kTextBufferSize = 1024;
constexpr std::int32_t kNameField = 0;
constexpr std::int32_t kPhotoField = 11;

struct FieldTarget {
    std::int32_t index;
    int control;
};

// The fields after the name, in call order; index 9 is never asked for.
constexpr FieldTarget kFields[] = {
    {1, IDC_EDIT_SEX},       {2, IDC_EDIT_NATION},    {3, IDC_EDIT_BIRTH},
    {4, IDC_EDIT_ADDRESS},   {5, IDC_EDIT_IDNUMBER},  {6, IDC_EDIT_AUTHORITY},
    {7, IDC_EDIT_VALIDFROM}, {8, IDC_EDIT_VALIDTO},   {10, IDC_EDIT_PHOTONAME},
};

} // namespace

void RunReadCardInfo(CommandHost& host, Reader& reader)
{
    RunReadCardInfo(host, reader, kProcessHeap);
}

void RunReadCardInfo(CommandHost& host, Reader& reader, const Allocator& heap)
{
    char value[kTextBufferSize];
    char error[kTextBufferSize];
    std::memset(value, 0, sizeof value);
    std::memset(error, 0, sizeof error);

    // Only the name call's result is examined.
    const std::int32_t code = reader.GetCardInfo(kNameField, value, error);
    if (code == 0) {
        host.SetControlText(IDC_EDIT_NAME, TextFromBuffer(value, sizeof value));
    } else {
        host.ShowMessage(FailureMessage("信息读取失败！", error, sizeof error, code).c_str());
    }

    // The other boxes show what the reader wrote, whatever it returned. The
    // error buffer is not cleared again.
    for (const FieldTarget& field : kFields) {
        std::memset(value, 0, sizeof value);
        reader.GetCardInfo(field.index, value, error);
        host.SetControlText(field.control, TextFromBuffer(value, sizeof value));
    }

    HeapBuffer photo(kPhotoTextSize, heap);
    if (!photo) {
        host.ShowMessage("无法分配足够的内存空间");
        return;
    }
    std::memset(photo.chars(), 0, kPhotoTextSize);
    reader.GetCardInfo(kPhotoField, photo.chars(), error);
    const std::size_t length = TextFromBuffer(photo.chars(), kPhotoTextSize).size();
    host.SetControlText(IDC_EDIT_PHOTOLEN, std::to_string(length));
    SavePhoto(photo.chars(), host, heap);
}
