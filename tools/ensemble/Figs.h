// FIG encoders: each returns whole FIGs (header byte included), every one
// short enough for a FIB; lists are split over as many FIGs as they need.
#pragma once

#include "EnsembleDescription.h"

#include <cstdint>
#include <vector>

namespace ZOZ::EnsembleGen {

using Fig = std::vector<uint8_t>;

// Longest FIG: the 30 data bytes of a FIB.
constexpr size_t MaxFigBytes = 30;

// Size in capacity units and bit rate of a sub-channel; 0 when its protection
// or bit rate is not a valid combination.
int subChannelSize(const SubChannel &subChannel);
int subChannelBitRate(const SubChannel &subChannel);

Fig fig0_0(uint16_t eid, int changeFlags, bool alarm, int cifCount, int occurrenceChange);
std::vector<Fig> fig0_1(const std::vector<SubChannel> &subChannels, bool next);
std::vector<Fig> fig0_2(const std::vector<Service> &services, bool next);
std::vector<Fig> fig0_3(const std::vector<Service> &services);
std::vector<Fig> fig0_5(const std::vector<Service> &services);
std::vector<Fig> fig0_8(const std::vector<Service> &services);
Fig fig0_9(int ecc, int localTimeOffset, int interTableId);
// Date and time `milliseconds` after `start`, UTC, long form.
Fig fig0_10(const DateTime &start, int64_t milliseconds);
std::vector<Fig> fig0_13(const std::vector<Service> &services);
std::vector<Fig> fig0_14(const std::vector<SubChannel> &subChannels);
std::vector<Fig> fig0_17(const std::vector<Service> &services);
std::vector<Fig> fig0_18(const std::vector<Service> &services);
std::vector<Fig> fig0_19(const std::vector<Announcement> &announcements);
Fig fig1_0(uint16_t eid, const Label &label);
// 1/1 for programme services, 1/5 for data services, 1/4 for component labels.
std::vector<Fig> serviceLabels(const std::vector<Service> &services);
// The segments of a FIG 2/1 extended label; empty when the text needs more than 8.
std::vector<Fig> fig2_1(uint32_t sid, const ExtendedLabel &label, bool toggle);

// Modified Julian Date of a calendar day.
int modifiedJulianDate(int year, int month, int day);

} // namespace ZOZ::EnsembleGen
