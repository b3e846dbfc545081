#pragma once

#include "model/csample.h"

#include <array>
#include <cstddef>
#include <vector>

// The four current modes of a measurement point. The index is also the instrument's current
// setting; the sequencer measures them in the order OFF, DC+, AC, DC-.
enum TMeasureMode { mmOff = 0, mmDcPlus = 1, mmDcMinus = 2, mmAc = 3 };

inline constexpr int MeasureModeCount = 4;

// "OFF", "DC+", "DC-", "AC"; an index outside 0..3 gives "?".
const char* MeasureModeLabel(int mode);

// Averaged readings of one mode: temperatures in K, voltage in uV, current in mA.
struct _sModeData {
    bool bMeasured = false;
    double dT1 = 0.0;
    double dT2 = 0.0;
    double dU = 0.0;
    double dI = 0.0;
};

// One sample at one reference temperature. The sample is referred to, not owned.
struct _sMeasurePoint {
    CSample* pSample = nullptr;
    double dTamb = 0.0;
    std::array<_sModeData, MeasureModeCount> Mode{};

    bool IsComplete() const;
};

// One reference temperature with one point per sample, in sample-array order.
struct _sMeasureArray {
    double dTref = 0.0;
    std::vector<_sMeasurePoint> Points;
};

// The measurement store: reference temperatures in the order they were added. Reads with an index
// out of range give neutral values; writes with one change nothing.
class CMeasrueData {
public:
    std::vector<_sMeasureArray> Items;

    void AddTemperature(double tref);
    void AddPoint(CSample* sample);
    void DeleteTemperature(std::size_t index);
    void ClearAll();

    std::size_t GetTemperatureCount() const { return Items.size(); }
    std::size_t GetPointCount(std::size_t tempIndex) const;
    double GetTref(std::size_t tempIndex) const;
    double GetTrefMin() const;
    double GetTrefMax() const;

    double GetTamb(std::size_t tempIndex, std::size_t pointIndex) const;
    void SetTamb(std::size_t tempIndex, std::size_t pointIndex, double value);
    void SetModeData(std::size_t tempIndex, std::size_t pointIndex, int mode, double t1, double t2, double u,
                     double i, bool measured);

    // Points of samples not in use are skipped; a temperature without any needed point is done.
    bool IsTemperatureDone(std::size_t tempIndex) const;

    // Out of range: a blank point (null sample, nothing measured). The writable blank is separate
    // from the read-only one and is made blank again on every call, so writes into it are lost.
    const _sMeasurePoint& GetPoint(std::size_t tempIndex, std::size_t pointIndex) const;
    _sMeasurePoint& GetPoint(std::size_t tempIndex, std::size_t pointIndex);

    bool HasPoint(std::size_t tempIndex, std::size_t pointIndex) const {
        return tempIndex < Items.size() && pointIndex < Items[tempIndex].Points.size();
    }

private:
    static const _sMeasurePoint BlankPoint;
    _sMeasurePoint WritableBlank;
};
