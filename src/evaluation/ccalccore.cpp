#include "evaluation/ccalccore.h"

#include "evaluation/ucheckedmath.h"

#include <cmath>
#include <numbers>

using namespace qm_calc;

namespace {

constexpr double MicroToBase = 0.000001;   // uV to V
constexpr double MilliToBase = 0.001;      // mA to A
constexpr double WireConductivity = 300.0; // W/(m K) of the lead-wire material

bool IsMode(int mode) {
    return mode >= 0 && mode < MeasureModeCount;
}

} // namespace

CCalcCore::CCalcCore(const _sMeasurePoint* point, unsigned iterations)
    : pPoint(point), iIterations(iterations) {}

const _sModeData& CCalcCore::ModeData(int mode) const {
    if (pPoint == nullptr)
        throw ECalcError("No measurement point");
    if (!IsMode(mode))
        throw ECalcError("No such measurement mode");
    return pPoint->Mode[static_cast<std::size_t>(mode)];
}

const CSample& CCalcCore::Sample() const {
    if (pPoint == nullptr || pPoint->pSample == nullptr)
        throw ECalcError("The point has no sample");
    return *pPoint->pSample;
}

double CCalcCore::GetModeTmean(int mode) const {
    if (!IsMode(mode))
        return 0.0;
    const _sModeData& m = ModeData(mode);
    return Mul(Add(m.dT1, m.dT2), 0.5);
}

double CCalcCore::GetModeDeltaT(int mode) const {
    if (!IsMode(mode))
        return 0.0;
    const _sModeData& m = ModeData(mode);
    const _sModeData& off = ModeData(mmOff);
    return Sub(Sub(m.dT1, off.dT1), Sub(m.dT2, off.dT2));
}

double CCalcCore::GetTavr() const {
    const _sModeData& off = ModeData(mmOff);
    return Mul(Add(off.dT1, off.dT2), 0.5);
}

double CCalcCore::GetResistance() const {
    const _sModeData& ac = ModeData(mmAc);
    return Div(Mul(ac.dU, MicroToBase), Mul(ac.dI, MilliToBase));
}

double CCalcCore::GetSigma() const {
    const CSample& s = Sample();
    return Div(s.GetL(usBase), Mul(Mul(s.GetA(usBase), s.GetB(usBase)), GetResistance()));
}

double CCalcCore::GetModeAlpha(int mode) const {
    const _sModeData& m = ModeData(mode);
    const _sModeData& ac = ModeData(mmAc);
    return Div(Mul(Sub(m.dU, ac.dU), MicroToBase), GetModeDeltaT(mode));
}

double CCalcCore::GetAlpha() const {
    return Mul(Add(std::fabs(GetModeAlpha(mmDcPlus)), std::fabs(GetModeAlpha(mmDcMinus))), 0.5);
}

double CCalcCore::GetModeZ(int mode) const {
    const _sModeData& m = ModeData(mode);
    const _sModeData& ac = ModeData(mmAc);
    return Div(Mul(Sub(m.dU, ac.dU), MicroToBase), Mul(GetModeTmean(mode), Mul(ac.dU, MicroToBase)));
}

double CCalcCore::GetZ() const {
    return Mul(Add(std::fabs(GetModeZ(mmDcPlus)), std::fabs(GetModeZ(mmDcMinus))), 0.5);
}

double CCalcCore::GetKappa() const {
    const double alpha = GetAlpha();
    return Div(Mul(Mul(alpha, alpha), GetSigma()), GetZ());
}

double CCalcCore::GetWireConductance() const {
    const CSample& s = Sample();
    const double d = s.GetWireD(usBase);
    return Mul(Div(Mul(Mul(d, d), Mul(WireConductivity, std::numbers::pi)), Mul(s.GetWireL(usBase), 4.0)),
               2.0);
}

double CCalcCore::GetSampleConductance(double kappa) const {
    const CSample& s = Sample();
    return Mul(Div(Mul(s.GetA(usBase), s.GetB(usBase)), s.GetL(usBase)), kappa);
}

double CCalcCore::GetLossRatio(double kappa) const {
    return Div(GetWireConductance(), Mul(GetSampleConductance(kappa), 2.0));
}

double CCalcCore::GetZCorr() const {
    // Corrected with the uncorrected Kappa, as the figure of merit has always been published.
    return Mul(GetZ(), Add(GetLossRatio(GetKappa()), 1.0));
}

double CCalcCore::GetKappaCorr() const {
    const double alpha = GetAlpha();
    const double sigma = GetSigma();
    const double z = GetZ();
    const double alpha2Sigma = Mul(Mul(alpha, alpha), sigma);
    double k = Div(alpha2Sigma, z);
    double d = GetLossRatio(k);
    for (unsigned round = 0; round < iIterations; ++round) {
        k = Div(alpha2Sigma, Mul(z, Add(d, 1.0)));
        d = GetLossRatio(k);
    }
    return k;
}

double CCalcCore::GetValue(TCalcValue value) const {
    switch (value) {
        case cvAlpha:
            return GetAlpha();
        case cvSigma:
            return GetSigma();
        case cvKappa:
            return GetKappa();
        case cvKappaCorr:
            return GetKappaCorr();
        case cvZ:
            return GetZ();
        case cvZCorr:
            return GetZCorr();
    }
    return 0.0;
}
