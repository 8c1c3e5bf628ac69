// Keys of the initial-data file "ORVOInitData.INI", in record index order.
#pragma once

#include <array>
#include <string_view>

namespace tarvel::shm {

inline constexpr std::string_view kInitDataFile = "ORVOInitData.INI";

// Section POWER: index i of code 0.
inline constexpr std::array<std::string_view, 9> kPowerKeys = {
    "ION_GUN_CONTROLLER", "ION_ANALOG_UNIT", "CL", "PMT", "SED", "CPD", "SED2", "E-GUN",
    "TEMP_CONT"};

// Section STAGE: index i of code 1 (extended).
inline constexpr std::array<std::string_view, 23> kStageKeys = {
    "ROT_CENTER_X",     "ROT_CENTER_Y",     "Z_SAFETY_LIMIT",   "ORI_FLAT",
    "EUCENTRIC",        "EU_OFFSET",        "TILT_DIREC",       "A_POSITION_X",
    "A_POSITION_Y",     "A_POSITION_Z",     "A_POSITION_T",     "A_POSITION_R",
    "B_POSITION_X",     "B_POSITION_Y",     "B_POSITION_Z",     "B_POSITION_T",
    "B_POSITION_R",     "F_CUP_POSITION_X", "F_CUP_POSITION_Y", "F_CUP_POSITION_Z",
    "F_CUP_POSITION_T", "F_CUP_POSITION_R", "Z_SAFETY_FLAG"};

// Sections TRACK-BALL-X / TRACK-BALL-Y: index i of codes 16 / 17; 7 and 8 are not used.
struct TrackBallKey {
  int index;
  std::string_view key;
  std::string_view def;
};
inline constexpr std::array<TrackBallKey, 14> kTrackBallKeys = {{
    {0, "STARTS", "4000"},
    {1, "ACCEL", "4000"},
    {2, "REDUCE", "4000"},
    {3, "LOW", "0"},
    {4, "UP", "205000"},
    {5, "ONOFF", "1"},
    {6, "K", "100"},
    {9, "K1", "0"},
    {10, "K2", "0"},
    {11, "K3", "9000"},
    {12, "CHECK", "1"},
    {13, "MONITOR", "0"},
    {14, "ACCMODE", "0"},
    {15, "LASH", "100"},
}};
inline constexpr std::string_view kTrackBallSections[2] = {"TRACK-BALL-X", "TRACK-BALL-Y"};

// Section OPTICS, key CL_TYPE: the value of code 10 index 4 is the position in this list.
inline constexpr std::array<std::string_view, 5> kClTypeNames = {
    "CL_TYPE_98", "CL_TYPE_22_REV0", "CL_TYPE_22_REV1", "CL_TYPE_22_REV2", "CL_TYPE_22_REV3"};

}  // namespace tarvel::shm
