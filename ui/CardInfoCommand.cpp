#include "CardInfoCommand.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "Mervik.h"
#include "PhotoFile.h"
#include "ResultMessage.h"
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

} // namespace

void RunReadCardInfo(CommandHost& host, Reader& reader)
{
    RunReadCardInfo(host, reader, kProcessHeap);
}

void RunReadCardInfo(CommandHost& host, Reader& reader, const Allocator& heap)
{
    char value[mervik::kTextBufferSize];
    char error[mervik::kTextBufferSize];
    std::memset(value, 0, sizeof value);
    std::memset(error, 0, sizeof error);

    // Only the name call's result is examined.
    const std::int32_t code = reader.GetCardInfo(mervik::kFieldName, value, error).result;
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
    reader.GetCardInfo(mervik::kFieldPhoto, photo.chars(), error);
    const std::size_t length = TextFromBuffer(photo.chars(), kPhotoTextSize).size();
    host.SetControlText(IDC_EDIT_PHOTOLEN, std::to_string(length));
    SavePhoto(photo.chars(), host, heap);
}
