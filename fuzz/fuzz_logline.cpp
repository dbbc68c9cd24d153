// Daily M-Bus logs as found on a station's disk: any bytes, split into lines
// as the import splits them, go through the line reader. A line taken as a
// reading must carry values the RB6 files can hold, and its value text must
// read back as the same number.
#include "logimport/logline.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

using namespace kelvaro::logimport;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void check(std::string_view line)
{
    LogReading r;
    SkipReason reason = SkipReason::Count;
    if (!ParseLogLine(line, r, reason)) {
        require(reason != SkipReason::Count && reason != SkipReason::NoMeter && reason != SkipReason::NotStored);
        return;
    }
    require(std::isfinite(r.value));
    require(r.time >= std::numeric_limits<std::int32_t>::min() && r.time <= std::numeric_limits<std::int32_t>::max());
    require(r.address >= 0 && r.address <= 255 && r.index >= 0 && r.index <= 999);
    require(r.shortLayout ? r.port == -1 : (r.port >= 0 && r.port <= 255));
    double again = 0;
    require(ParseGermanNumber(r.valueText, again));
    require(std::memcmp(&again, &r.value, sizeof again) == 0);
    qint64 seconds = 0;
    require(ParseLogTime(r.timeText, seconds) && seconds == r.time);
    // Views point into the line.
    const char* begin = line.data();
    const char* end = line.data() + line.size();
    for (std::string_view v : {r.id, r.name, r.timeText, r.valueText})
        require(v.empty() || (v.data() >= begin && v.data() + v.size() <= end));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t lf = text.find('\n', start);
        const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        check(text.substr(start, end - start));
        if (lf == std::string_view::npos)
            break;
        start = lf + 1;
    }
    return 0;
}
