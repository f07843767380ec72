#include "monitor/monitor_rules.h"

#include <limits>

#include "platform/text_conv.h"

namespace tarvesk {

bool IsAcceptableAddress(const QString& address) {
    const bool longEnough = address.size() > 7;
    const bool http = address.left(4).toLower() == QLatin1String("http");
    return longEnough && http;
}

std::optional<int32_t> ArmedThreshold(bool switchedOn, const QString& thresholdText) {
    if (!switchedOn) return std::nullopt;
    return ToInt32(thresholdText);
}

bool StageFires(bool switchedOn, const QString& thresholdText, int32_t counter) {
    const std::optional<int32_t> threshold = ArmedThreshold(switchedOn, thresholdText);
    return threshold && counter >= *threshold;
}

std::optional<int> TimerPeriodMs(const QString& intervalText) {
    const std::optional<double> seconds = ToDouble(intervalText);
    if (!seconds) return std::nullopt;
    const std::optional<int32_t> ms = RoundToInt32(*seconds * 1000.0);
    if (!ms || *ms <= 0) return std::nullopt;
    return *ms;
}

int32_t Incremented(int32_t counter) {
    return counter == std::numeric_limits<int32_t>::max() ? counter : counter + 1;
}

}  // namespace tarvesk
