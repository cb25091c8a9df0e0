// The real Windows backend against our stand-in library: the ten entries by
// ordinal, with the arguments and in the order the link gives them.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "ScriptedDialogs.h"
#include "link/AppState.h"
#include "link/Clock.h"
#include "link/Platform.h"
#include "link/UsbLink.h"
#include "link/WinUsbLibrary.h"

#include <QtTest>

namespace {

using CallLogFn = DWORD(WINAPI*)(char*, DWORD);
using ClearFn = void(WINAPI*)();

QStringList calls() {
    HMODULE dll = GetModuleHandleW(L"SiUSBXp.dll");
    auto log = reinterpret_cast<CallLogFn>(reinterpret_cast<void*>(GetProcAddress(dll, "StandInCallLog")));
    if (!log)
        return {"(no call log)"};
    std::string text(log(nullptr, 0) + 1, '\0');
    log(text.data(), DWORD(text.size()));
    return QString::fromStdString(text.c_str()).split('\n', Qt::SkipEmptyParts);
}

void clearCalls() {
    HMODULE dll = GetModuleHandleW(L"SiUSBXp.dll");
    if (auto clear = reinterpret_cast<ClearFn>(reinterpret_cast<void*>(GetProcAddress(dll, "StandInClearCallLog"))))
        clear();
}

} // namespace

class StandInTest : public QObject {
    Q_OBJECT

private slots:
    void transactionRunsThroughTheTenEntries();
};

void StandInTest::transactionRunsThroughTheTenEntries() {
    std::string error;
    std::unique_ptr<UsbLibrary> usb = loadVendorUsbLibrary(&error);
    QVERIFY2(usb, error.c_str());
    SystemClock clock;
    ScriptedDialogs dialogs;
    resetAppState();
    platform() = Platform{usb.get(), &clock, &dialogs, nullptr};

    std::uint32_t index = 99;
    QVERIFY(findDevice("2023", &index));
    QCOMPARE(index, 0u);
    QVERIFY(openDevice(index));
    QVERIFY(appState.deviceHandle != kNoDevice);

    clearCalls();
    const std::uint8_t request[3] = {0x11, 0x2A, 0xE1}; // the values block
    std::uint8_t reply[kReplyBufferSize] = {};
    QVERIFY(transact(reply, request, 3, 3));
    QCOMPARE(reply[0], std::uint8_t(0xE1));
    const QStringList seen = calls();
    // Flush, then the write with the read timeout off and the saved ones
    // restored, the queue asked until a byte is there, then the read likewise.
    QCOMPARE(seen.first(), QString("flushBuffers 1 1"));
    QCOMPARE(seen.mid(1, 4), QStringList({"getTimeouts", "setTimeouts 0 4000", "write 3",
                                          "setTimeouts 500 500"}));
    const int read = int(seen.indexOf("read 64"));
    QVERIFY2(read > 5, qPrintable(seen.join(" | ")));
    QCOMPARE(seen.mid(read - 2, 4), QStringList({"getTimeouts", "setTimeouts 4000 0", "read 64",
                                                 "setTimeouts 500 500"}));
    QCOMPARE(seen.mid(5, read - 7).filter("checkRxQueue").size(), read - 7);

    clearCalls();
    closeDevice();
    QCOMPARE(calls(), QStringList({"close"}));
    QCOMPARE(appState.deviceHandle, kNoDevice);
    QVERIFY(dialogs.shown.empty());
    platform() = Platform{};
}

QTEST_GUILESS_MAIN(StandInTest)
#include "tst_winlib_standin.moc"
