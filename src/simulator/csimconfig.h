#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class CSample;

// A material property at 300 K with a linear relative temperature coefficient:
// value(T) = At300 * (1 + Tc * (T - 300)), the factor held at 0.05 at least so that a property
// never changes sign or vanishes far from 300 K.
struct _sSimProperty {
    double At300 = 0.0;
    double Tc = 0.0; // 1/K
    double At(double kelvin) const { return At300 * std::max(0.05, 1.0 + Tc * (kelvin - 300.0)); }
};

// One sample mounted at a position of the simulated instrument. Lengths in mm, current in mA, as
// the operator enters them; the material in SI units (alpha in V/K, sigma in S/m, kappa in W/(m K)).
struct _sSimSample {
    std::string Name;
    double A = 1.5;        // mm
    double B = 1.5;        // mm
    double L = 4.0;        // mm
    double WireL = 20.0;   // mm, 0: no lead wires
    double WireD = 0.05;   // mm, 0: no lead wires
    double Current = 40.0; // mA
    _sSimProperty Alpha{200e-6, 0.0};
    _sSimProperty Sigma{1.0e5, 0.0};
    _sSimProperty Kappa{1.5, 0.0};

    // Thermal conductance of the sample, W/K: kappa(T) * A * B / L.
    double SampleConductance(double kelvin) const;
    // Thermal conductance of the two lead wires, W/K: 2 * 300 * pi * WireD^2 / (4 * WireL).
    double WireConductance() const;
    // Electrical resistance, Ohm: L / (sigma(T) * A * B).
    double Resistance(double kelvin) const;
};

// Everything that describes the simulated instrument. Times in seconds, temperatures in K.
struct _sSimConfig {
    static constexpr int kMaxPositions = 4;

    std::vector<_sSimSample> Samples; // up to kMaxPositions; position i is index i

    double RoomTemperature = 296.16; // stage and channels before any set point
    double StageTau = 60.0;          // first-order lag of each PID channel
    double RampRate = 10.0;          // K/min, ramp limit of each PID channel
    double SampleTau = 30.0;         // lag of the samples' mean temperature behind the stage
    double PeltierTau = 3.0;         // relaxation of the Peltier temperature difference
    double Gradient = 0.02;          // fixed stage gradient T1 - T2 in K
    double ReadyBand = 0.1;          // K around the set point that sets PID_READY
    double NoiseT = 0.002;           // K, standard deviation of T1 and T2
    double NoiseU = 0.2;             // uV, standard deviation of U
    double CycleTime = 0.2;          // s, duration of one conversion

    // Three plausible samples: a Bi2Te3-like one, a skutterudite-like one and a SiGe-like one.
    static _sSimConfig Defaults();
};

struct SimConfigResult {
    bool ok = false;
    std::string error; // "file:line: what" or "file: what" when !ok
    _sSimConfig config;
};

// Reads a simulator description (INI). Every key is optional and starts from the built-in
// defaults; the sections [Sample0] .. [Sample3] (the positions) replace the default samples when one is
// present. Unknown keys, numbers that do not parse and senseless values are errors.
SimConfigResult LoadSimConfig(const std::filesystem::path& path);
SimConfigResult ParseSimConfig(const std::string& text, const std::string& origin = "simulator description");

// Copies geometry, lead wire and current of a simulated sample into a program sample, with the
// given device id and in use.
void ApplySimSample(const _sSimSample& sim, std::int32_t devId, CSample& sample);
