#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace tarvesk {

// The address test of the start button, the page check and "Try Check": more
// than 7 characters, the first four being "http" in any letter case.
bool IsAcceptableAddress(const QString& address);

// The threshold of an escalation stage, when the stage is armed: its switch is
// on and its threshold text is numeric and fits 32 bits (halves to even).
std::optional<int32_t> ArmedThreshold(bool switchedOn, const QString& thresholdText);

// A stage fires when armed and its counter has reached the threshold.
bool StageFires(bool switchedOn, const QString& thresholdText, int32_t counter);

// Timer period in milliseconds for an interval in seconds: numeric, times
// 1000, halves to even. Nothing when the period is not positive or does not
// fit the timer.
std::optional<int> TimerPeriodMs(const QString& intervalText);

// Adds one without overflowing; a counter at its maximum stays there.
int32_t Incremented(int32_t counter);

}  // namespace tarvesk
