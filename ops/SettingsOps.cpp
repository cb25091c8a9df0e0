#include "ops/SettingsOps.h"

#include "session/DeviceOps.h"
#include "session/EdidTransfer.h"
#include "session/Readback.h"
#include "settings/FactoryReset.h"

namespace ops {

namespace {

// Every pair checked against the table before anything is sent.
Error parseAssignments(const std::vector<std::string>& pairs, Reporter& reporter,
                       std::vector<SetWrite>* out) {
    for (const std::string& pair : pairs) {
        const auto eq = pair.find('=');
        const std::string name = pair.substr(0, eq);
        const settings::Setting* s = settings::byName(name);
        if (!s)
            return reporter.usage("no setting is called \"" + name + "\"; see korvanta set --help");
        if (eq == std::string::npos)
            return reporter.usage("\"" + pair + "\" gives no value; write " + name +
                                  "=VALUE with one of: " + settings::acceptedWords(*s));
        int value = 0;
        const std::string word = pair.substr(eq + 1);
        if (!settings::parseValue(*s, word, &value))
            return reporter.usage("\"" + word + "\" is not a value of " + s->name +
                                  "; accepted: " + settings::acceptedWords(*s) + " (or raw:N)");
        out->push_back({s, value, settings::valueWord(*s, value), false});
    }
    return {};
}

} // namespace

bool readSettingsBlock(Reporter& reporter, std::uint8_t* block) {
    session::BlockRead read = session::readSettingsBlock(reporter, block);
    if (read == session::BlockRead::Busy && session::waitWhileBusy(reporter))
        read = session::readSettingsBlock(reporter, block);
    if (read == session::BlockRead::Busy)
        reporter.complain("the device stays busy building its EDID");
    return read == session::BlockRead::Ok;
}

GetResult get(const GetParams& params, Device& device, Reporter& reporter) {
    GetResult r;
    for (const std::string& name : params.names) {
        const settings::Setting* s = settings::byName(name);
        if (!s) {
            r.error =
                reporter.usage("no setting is called \"" + name + "\"; see korvanta get --help");
            return r;
        }
        r.wanted.push_back(s);
    }
    if (r.wanted.empty())
        for (const settings::Setting& s : settings::allSettings())
            if (s.name)
                r.wanted.push_back(&s);
    if ((r.error = device.open(reporter)))
        return r;
    if (!readSettingsBlock(reporter, r.block.data()))
        r.error = reporter.deviceError();
    return r;
}

SetResult set(const SetParams& params, Device& device, Reporter& reporter) {
    SetResult r;
    std::vector<SetWrite> writes;
    if ((r.error = parseAssignments(params.pairs, reporter, &writes)))
        return r;
    if ((r.error = device.open(reporter)))
        return r;
    for (SetWrite& w : writes) {
        w.accepted =
            session::writeSetting(reporter, static_cast<std::uint8_t>(w.setting->index), w.value);
        if (!w.accepted) {
            const Error failed = reporter.deviceError();
            reporter.complain(std::string(w.setting->name) + "=" + w.word + " was not set");
            if (!r.error)
                r.error = {failed.code, reporter.errorTexts().back(), failed.cause};
        }
        r.writes.push_back(w);
    }
    return r;
}

ResetResult reset(const ResetParams& params, Device& device, Reporter& reporter) {
    ResetResult r;
    r.what = params.what;
    const bool settingsToo = params.what == "settings" || params.what == "all";
    const bool edidToo = params.what == "edid" || params.what == "all";
    if (!params.yes) {
        std::string lost;
        if (settingsToo)
            lost = "every setting goes back to its factory value";
        if (edidToo)
            lost += std::string(lost.empty() ? "" : ", and ") +
                    "the custom EDID is replaced by the factory EDID";
        r.error = reporter.usage("this would reset the device: " + lost +
                                 ". Nothing was sent; add --yes to do it.");
        return r;
    }
    if ((r.error = device.open(reporter)))
        return r;
    r.sent = settings::factoryResetValue(settingsToo, edidToo);
    if (!session::writeSetting(reporter, settings::kFactoryReset, r.sent))
        r.error = reporter.deviceError();
    return r;
}

} // namespace ops
