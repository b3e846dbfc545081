#pragma once

#include "evaluation/ecalcerror.h"
#include "model/cmeasuredata.h"

// Selector of CCalcCore::GetValue. The fixed underlying type lets any integer be passed through;
// values outside 0..5 give 0.0.
enum TCalcValue : int { cvAlpha = 0, cvSigma = 1, cvKappa = 2, cvKappaCorr = 3, cvZ = 4, cvZCorr = 5 };

inline constexpr int CalcValueCount = 6;

// The thermoelectric properties of one complete measurement point, in SI units:
// Alpha V/K, Sigma S/m, Kappa and KappaCorr W/(m K), Z and ZCorr 1/K, Tavr K, resistance Ohm.
//
// Every operation computes from the point afresh (nothing is cached) in a fixed order of
// operations. Any division by zero, 0/0 or non-finite intermediate result throws ECalcError and
// no value is delivered; a point without a sample throws it too. Operations that take a mode
// accept TMeasureMode values as int; a mode above 3 gives 0.0 where noted.
class CCalcCore {
public:
    // The point is read, not owned, and must outlive the calculator.
    explicit CCalcCore(const _sMeasurePoint* point, unsigned iterations = 3);

    double GetModeTmean(int mode) const;  // (T1 + T2) * 0.5; 0.0 for a mode above 3
    double GetModeDeltaT(int mode) const; // change of T1 - T2 against OFF; 0.0 for a mode above 3
    double GetTavr() const;               // mean temperature of the OFF mode: the x of every series
    double GetResistance() const;         // from the AC mode
    double GetSigma() const;
    double GetModeAlpha(int mode) const;
    double GetAlpha() const;
    double GetModeZ(int mode) const;
    double GetZ() const;
    double GetKappa() const;
    double GetWireConductance() const;               // both lead wires, W/K
    double GetSampleConductance(double kappa) const; // W/K
    double GetLossRatio(double kappa) const;         // wire conductance over twice the sample's
    double GetZCorr() const;
    double GetKappaCorr() const;

    double GetValue(TCalcValue value) const;

    const _sMeasurePoint* GetPoint() const { return pPoint; }
    unsigned GetIterations() const { return iIterations; }

private:
    const _sMeasurePoint* pPoint;
    unsigned iIterations;

    const _sModeData& ModeData(int mode) const;
    const CSample& Sample() const;
};
