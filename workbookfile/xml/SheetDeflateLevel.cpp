#include "Xml.h"

#include "ZipWriter.h"

namespace workbookfile {

namespace {
// Worksheets below this size take little time at any level and are kept as small as they get.
constexpr std::size_t kSampledSheetSize = std::size_t(1) << 20;
constexpr std::size_t kSampleSize = std::size_t(128) << 10;
constexpr int kFastDeflateLevel = 1;
// Worksheets of a study deflate at level 1 to about 0.19 of their size where the cells repeat
// their neighbours (level 5 then saves a sixth) and to 0.25 or more where the values vary (level 5
// saves 4 to 9%).
constexpr double kRepetitiveFraction = 0.22;
} // namespace

int sheetDeflateLevel(std::string_view xml) {
    if (xml.size() < kSampledSheetSize)
        return kXmlDeflateLevel;
    // From the middle: the start holds the columns and the heading row.
    const std::string_view sample = xml.substr((xml.size() - kSampleSize) / 2, kSampleSize);
    return deflatedFraction(sample, kFastDeflateLevel) < kRepetitiveFraction ? kXmlDeflateLevel
                                                                             : kFastDeflateLevel;
}

} // namespace workbookfile
