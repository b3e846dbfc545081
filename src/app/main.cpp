// qm4750: the measurement program with its window. Settings come from the INI file beside the
// program; nothing is taken from the command line.

#include "files/urecoveryfile.h"
#include "instrument/cqm4750device.h"
#include "instrument/cstreamlink.h"
#include "model/uglobal.h"
#include "sequencer/cacquisitionloop.h"
#include "simulator/csimclock.h"
#include "simulator/csimconfig.h"
#include "simulator/csimlink.h"
#include "ui/umainform.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QM4750 Application"));

    // Destroyed in reverse order: the window, the loop, the instrument and its link, then the
    // settings record, which writes the timer period back.
    GlobalValue global(GlobalValue::DefaultIniPath());
    CRealTimeClock simClock(1.0);
    CPortLink link(simClock);
    // Behind the simulator: the endpoints named in the settings file, then the serial devices.
    for (_sStreamInterface& stream :
         MakeStreamInterfaces(ReadLinkEndpoints(global.IniPath()), ListSerialDevices(), global.Warnings))
        link.AddInterface(std::move(stream.Description), std::move(stream.Link));
    CQm4750Device device(link);

    // The simulator's records are timed in instrument time, so that a faster simulator gives the
    // same record rate per instrument second and the waits of a run shrink with it. Other ports
    // are timed in real time.
    const auto realStart = std::chrono::steady_clock::now();
    CAcquisitionLoop loop(global, device, [&]() -> std::uint32_t {
        if (link.GetOpenIndex() == 0)
            return static_cast<std::uint32_t>(simClock.NowMs());
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - realStart)
                                              .count());
    });

    TSimulatorControl simulator;
    simulator.GetSpeed = [&] { return simClock.GetSpeed(); };
    simulator.SetSpeed = [&](double speed) { simClock.SetSpeed(speed); };
    simulator.IsActive = [&] { return link.GetOpenIndex() == 0; };
    simulator.GetConfig = [&] { return link.GetSimulator().GetConfig(); };

    TMainForm window(global, device, loop, simulator);
    const std::filesystem::path recoveryFolder = DefaultRecoveryFolder();
    if (!recoveryFolder.empty())
        window.EnableRecovery(RecoveryFilePath(recoveryFolder));
    window.show();
    QTimer::singleShot(0, &window, [&window] {
        window.ShowSettingsWarnings();
        window.OfferRecovery();
    });
    return QApplication::exec();
}
