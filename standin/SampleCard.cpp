#include "SampleCard.h"

#include "Base64.h"
#include "Mervik.h"

namespace standin {

const char* SampleField(std::int32_t index)
{
    switch (index) {
    case mervik::kFieldName:
        return "林秋雨";
    case mervik::kFieldSex:
        return "女";
    case mervik::kFieldNation:
        return "汉";
    case mervik::kFieldBirth:
        return "19900815";
    case mervik::kFieldAddress:
        return "浙江省杭州市西湖区示例路88号2幢301室";
    case mervik::kFieldIdNumber:
        // Hangzhou Xihu district, born 1990-08-15, order 128 (even: female), check digit 6.
        return "330106199008151286";
    case mervik::kFieldAuthority:
        return "杭州市公安局西湖分局";
    case mervik::kFieldValidFrom:
        return "20200301";
    case mervik::kFieldValidTo:
        return "20400301";
    case mervik::kFieldPhotoName:
        return "zp.jpg";
    default:
        return nullptr;
    }
}

std::string SamplePhotoBase64()
{
    return EncodeBase64(kSamplePhoto, kSamplePhotoSize);
}

}  // namespace standin
