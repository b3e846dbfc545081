#pragma once

#include <cstdint>

// Unit selector of the CSample accessors: the model holds SI units, dialogs, files and the
// export speak millimetres and milliamperes.
enum TUnitScale { usBase, usMilli };

// One sample mounted in the instrument. Lengths are held in metres, the current in amperes.
class CSample {
public:
    bool bUse = false;
    std::int32_t iDevId = 0;
    double dA = 0.0;
    double dB = 0.0;
    double dL = 0.0;
    double dWireL = 0.0;
    double dWireD = 0.0;
    double dCurrent = 0.0;

    double GetA(TUnitScale unit) const { return FromBase(dA, unit); }
    double GetB(TUnitScale unit) const { return FromBase(dB, unit); }
    double GetL(TUnitScale unit) const { return FromBase(dL, unit); }
    double GetWireL(TUnitScale unit) const { return FromBase(dWireL, unit); }
    double GetWireD(TUnitScale unit) const { return FromBase(dWireD, unit); }
    double GetCurrent(TUnitScale unit) const { return FromBase(dCurrent, unit); }
    double GetArea(TUnitScale unit) const { return GetA(unit) * GetB(unit); }

    void SetA(double value, TUnitScale unit) { dA = ToBase(value, unit); }
    void SetB(double value, TUnitScale unit) { dB = ToBase(value, unit); }
    void SetL(double value, TUnitScale unit) { dL = ToBase(value, unit); }
    void SetWireL(double value, TUnitScale unit) { dWireL = ToBase(value, unit); }
    void SetWireD(double value, TUnitScale unit) { dWireD = ToBase(value, unit); }
    void SetCurrent(double value, TUnitScale unit) { dCurrent = ToBase(value, unit); }

    bool GetUse() const { return bUse; }
    void SetUse(bool use) { bUse = use; }
    std::int32_t GetDevId() const { return iDevId; }
    void SetDevId(std::int32_t id) { iDevId = id; }

private:
    // Reading multiplies by 1000 and writing by 0.001, exactly as the stored files expect.
    static double FromBase(double value, TUnitScale unit) { return unit == usMilli ? value * 1000.0 : value; }
    static double ToBase(double value, TUnitScale unit) { return unit == usMilli ? value * 0.001 : value; }
};
