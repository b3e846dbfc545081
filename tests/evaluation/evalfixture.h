#pragma once

#include "model/cmeasuredata.h"
#include "model/csample.h"

// The sample and point of the worked example: A = B = 1.5 mm, L = 4 mm, lead wires 20 mm long and
// 0.05 mm thick; OFF at 300/300 K, DC+ and DC- 0.5 K either way with 1200 and 800 uV, AC 1000 uV
// at 40 mA.
inline CSample WorkedSample() {
    CSample s;
    s.bUse = true;
    s.SetA(1.5, usMilli);
    s.SetB(1.5, usMilli);
    s.SetL(4.0, usMilli);
    s.SetWireL(20.0, usMilli);
    s.SetWireD(0.05, usMilli);
    s.SetCurrent(40.0, usMilli);
    return s;
}

// The worked point shifted by `offset` kelvin in all temperatures, so that a series has distinct x.
inline _sMeasurePoint WorkedPoint(CSample* sample, double offset = 0.0) {
    _sMeasurePoint p;
    p.pSample = sample;
    p.dTamb = 295.0;
    p.Mode[mmOff] = {true, 300.0 + offset, 300.0 + offset, 0.0, 0.0};
    p.Mode[mmDcPlus] = {true, 300.5 + offset, 299.5 + offset, 1200.0, 40.0};
    p.Mode[mmDcMinus] = {true, 299.5 + offset, 300.5 + offset, 800.0, -40.0};
    p.Mode[mmAc] = {true, 300.0 + offset, 300.0 + offset, 1000.0, 40.0};
    return p;
}
