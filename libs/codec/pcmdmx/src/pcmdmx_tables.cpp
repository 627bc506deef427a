#include "pcmdmx_tables.h"

namespace PcmDmxTables {

const Gain mixLevel[8] = {
    {16384, 1}, {27558, 0}, {23167, 0}, {19530, 0}, {16384, 0}, {13828, 0}, {11633, 0}, {0, 0},
};

const Gain levelC[16] = {
    {25903, 2}, {16384, 2}, {27509, 1}, {23151, 1}, {19481, 1}, {16384, 1}, {27558, 0}, {23167, 0},
    {19530, 0}, {16384, 0}, {10355, 0}, {5833, 0},  {3277, 0},  {1049, 0},  {328, 0},   {0, 0},
};

const int16_t matrixAlpha[4] = {23170, 16384, 11585, 0};
const int16_t matrixNormLoRo[4] = {13573, 14847, 15902, 19195};
const int16_t matrixNormLtRt[4] = {10498, 12104, 13573, 19195};
const int16_t matrixNormMono[4] = {7423, 8192, 8839, 10923};

} // namespace PcmDmxTables
