#include "model/cmeasuredata.h"

#include <algorithm>

const char* MeasureModeLabel(int mode) {
    static constexpr const char* labels[MeasureModeCount] = {"OFF", "DC+", "DC-", "AC"};
    return mode >= 0 && mode < MeasureModeCount ? labels[mode] : "?";
}

bool _sMeasurePoint::IsComplete() const {
    return std::all_of(Mode.begin(), Mode.end(), [](const _sModeData& m) { return m.bMeasured; });
}

const _sMeasurePoint CMeasrueData::BlankPoint{};

void CMeasrueData::AddTemperature(double tref) {
    Items.push_back(_sMeasureArray{tref, {}});
}

void CMeasrueData::AddPoint(CSample* sample) {
    // Points are only ever added right after their temperature; without one there is nowhere to go.
    if (sample == nullptr || Items.empty())
        return;
    _sMeasurePoint point;
    point.pSample = sample;
    Items.back().Points.push_back(point);
}

void CMeasrueData::DeleteTemperature(std::size_t index) {
    if (index < Items.size())
        Items.erase(Items.begin() + static_cast<std::ptrdiff_t>(index));
}

void CMeasrueData::ClearAll() {
    Items.clear();
}

std::size_t CMeasrueData::GetPointCount(std::size_t tempIndex) const {
    return tempIndex < Items.size() ? Items[tempIndex].Points.size() : 0;
}

double CMeasrueData::GetTref(std::size_t tempIndex) const {
    return tempIndex < Items.size() ? Items[tempIndex].dTref : 0.0;
}

double CMeasrueData::GetTrefMin() const {
    double result = 1000.0;
    for (const auto& item : Items)
        result = std::min(result, item.dTref);
    return result;
}

double CMeasrueData::GetTrefMax() const {
    double result = 0.0;
    for (const auto& item : Items)
        result = std::max(result, item.dTref);
    return result;
}

double CMeasrueData::GetTamb(std::size_t tempIndex, std::size_t pointIndex) const {
    return HasPoint(tempIndex, pointIndex) ? Items[tempIndex].Points[pointIndex].dTamb : -1.0;
}

void CMeasrueData::SetTamb(std::size_t tempIndex, std::size_t pointIndex, double value) {
    if (HasPoint(tempIndex, pointIndex))
        Items[tempIndex].Points[pointIndex].dTamb = value;
}

void CMeasrueData::SetModeData(std::size_t tempIndex, std::size_t pointIndex, int mode, double t1, double t2,
                               double u, double i, bool measured) {
    if (mode < 0 || mode >= MeasureModeCount || !HasPoint(tempIndex, pointIndex))
        return;
    Items[tempIndex].Points[pointIndex].Mode[static_cast<std::size_t>(mode)] =
        _sModeData{measured, t1, t2, u, i};
}

bool CMeasrueData::IsTemperatureDone(std::size_t tempIndex) const {
    if (tempIndex >= Items.size())
        return true;
    return std::all_of(
        Items[tempIndex].Points.begin(), Items[tempIndex].Points.end(),
        [](const _sMeasurePoint& p) { return p.pSample == nullptr || !p.pSample->bUse || p.IsComplete(); });
}

const _sMeasurePoint& CMeasrueData::GetPoint(std::size_t tempIndex, std::size_t pointIndex) const {
    return HasPoint(tempIndex, pointIndex) ? Items[tempIndex].Points[pointIndex] : BlankPoint;
}

_sMeasurePoint& CMeasrueData::GetPoint(std::size_t tempIndex, std::size_t pointIndex) {
    if (HasPoint(tempIndex, pointIndex))
        return Items[tempIndex].Points[pointIndex];
    WritableBlank = _sMeasurePoint{};
    return WritableBlank;
}
