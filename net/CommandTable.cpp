#include "net/CommandTable.h"

#include "net/Replies.h"
#include "net/Sentence.h"
#include "platform/enginelog.h"
#include "platform/pathguard.h"
#include "platform/workdir.h"
#include "project/ProjectOperations.h"

using VelNet::Sentence;

namespace {

using P = ProjectOperations;
using Run = std::function<std::string(P&, const Sentence&)>;

std::string text(const Sentence& s, std::size_t i) {
    return s.textArgument(i);
}
double number(const Sentence& s, std::size_t i) {
    return s.doubleArgument(i);
}

// The operations of one actor kind, by what they do; null where the kind has no such command.
struct ActorKind {
    const char* word;
    const char* createSignature;
    Run create;
    void (P::*destroy)(const std::string&);
    void (P::*getList)(std::string&);
    std::vector<std::pair<const char*, bool (P::*)(const std::string&, std::string&)>> nameGetters;
    bool (P::*getTrackerName)(const std::string&, std::string&);
    bool (P::*connect)(const std::string&, const std::string&);
    bool (P::*unconnect)(const std::string&);
    bool (P::*translate)(const std::string&, double, double, double);
    bool (P::*getTranslation)(const std::string&, double&, double&, double&);
    bool (P::*rotate)(const std::string&, double, double, double, double);
    bool (P::*pitch)(const std::string&, double);
    bool (P::*yaw)(const std::string&, double);
    bool (P::*roll)(const std::string&, double);
    bool (P::*getRotation)(const std::string&, double&, double&, double&, double&);
    bool (P::*getAngles)(const std::string&, double&, double&, double&);
    bool (P::*scale)(const std::string&, double, double, double);
    bool (P::*getScale)(const std::string&, double&, double&, double&);
};

void addActorRows(std::vector<CommandRow>& rows, const ActorKind& kind) {
    const std::string prefix = std::string("project.actors.") + kind.word + ".";
    auto row = [&](const char* operation, const char* signature, Run run) {
        rows.push_back({prefix + operation, signature, std::move(run)});
    };
    row("create", kind.createSignature, kind.create);
    row("destroy", "s", [m = kind.destroy](P& p, const Sentence& s) {
        (p.*m)(text(s, 0));
        return VelNet::okReply(true);
    });
    row("getList", "", [m = kind.getList](P& p, const Sentence&) {
        std::string list;
        (p.*m)(list);
        return VelNet::plainTextReply(true, list);
    });
    auto textGetter = [](bool (P::*m)(const std::string&, std::string&)) {
        return [m](P& p, const Sentence& s) {
            std::string value;
            const bool ok = (p.*m)(text(s, 0), value);
            return VelNet::quotedTextReply(ok, value);
        };
    };
    for (const auto& getter : kind.nameGetters) {
        row(getter.first, "s", textGetter(getter.second));
    }
    row("getTrackerName", "s", textGetter(kind.getTrackerName));
    row("connect", "ss", [m = kind.connect](P& p, const Sentence& s) {
        return VelNet::okReply((p.*m)(text(s, 0), text(s, 1)));
    });
    row("unconnect", "s",
        [m = kind.unconnect](P& p, const Sentence& s) { return VelNet::okReply((p.*m)(text(s, 0))); });
    auto setter3 = [](bool (P::*m)(const std::string&, double, double, double)) {
        return [m](P& p, const Sentence& s) {
            return VelNet::okReply((p.*m)(text(s, 0), number(s, 1), number(s, 2), number(s, 3)));
        };
    };
    auto getter3 = [](bool (P::*m)(const std::string&, double&, double&, double&)) {
        return [m](P& p, const Sentence& s) {
            double x = 0, y = 0, z = 0;
            const bool ok = (p.*m)(text(s, 0), x, y, z);
            return VelNet::tripleReply(ok, x, y, z);
        };
    };
    row("translate", "sfff", setter3(kind.translate));
    row("getTranslation", "s", getter3(kind.getTranslation));
    if (kind.rotate == nullptr) {
        return; // light and file actors end here
    }
    row("rotate", "sffff", [m = kind.rotate](P& p, const Sentence& s) {
        return VelNet::okReply((p.*m)(text(s, 0), number(s, 1), number(s, 2), number(s, 3), number(s, 4)));
    });
    auto turn = [](bool (P::*m)(const std::string&, double)) {
        return [m](P& p, const Sentence& s) { return VelNet::okReply((p.*m)(text(s, 0), number(s, 1))); };
    };
    row("pitch", "sf", turn(kind.pitch));
    row("yaw", "sf", turn(kind.yaw));
    row("roll", "sf", turn(kind.roll));
    row("getRotation", "s", [m = kind.getRotation](P& p, const Sentence& s) {
        double w = 0, x = 0, y = 0, z = 0;
        const bool ok = (p.*m)(text(s, 0), w, x, y, z);
        return VelNet::quadrupleReply(ok, w, x, y, z);
    });
    row("getAngles", "s", getter3(kind.getAngles));
    row("scale", "sfff", setter3(kind.scale));
    row("getScale", "s", getter3(kind.getScale));
}

std::vector<CommandRow> buildTable() {
    using VelNet::integerReply;
    using VelNet::okReply;
    using VelNet::plainTextReply;
    using VelNet::quotedTextReply;
    using VelNet::truthReply;
    std::vector<CommandRow> rows;
    auto row = [&rows](const char* name, const char* signature, Run run) {
        rows.push_back({name, signature, std::move(run)});
    };
    auto always = [](void (P::*m)()) {
        return [m](P& p, const Sentence&) {
            (p.*m)();
            return okReply(true);
        };
    };
    auto truth = [](bool (P::*m)()) { return [m](P& p, const Sentence&) { return truthReply((p.*m)()); }; };
    auto quotedOut = [](bool (P::*m)(std::string&)) {
        return [m](P& p, const Sentence&) {
            std::string value;
            const bool ok = (p.*m)(value);
            return quotedTextReply(ok, value);
        };
    };
    auto listOut = [](void (P::*m)(std::string&)) {
        return [m](P& p, const Sentence&) {
            std::string list;
            (p.*m)(list);
            return plainTextReply(true, list);
        };
    };
    auto okOfName = [](bool (P::*m)(const std::string&)) {
        return [m](P& p, const Sentence& s) { return okReply((p.*m)(text(s, 0))); };
    };
    auto quotedOfName = [](bool (P::*m)(const std::string&, std::string&)) {
        return [m](P& p, const Sentence& s) {
            std::string value;
            const bool ok = (p.*m)(text(s, 0), value);
            return quotedTextReply(ok, value);
        };
    };

    row("quit", "", [](P&, const Sentence&) { return okReply(true); });
    row("project.new", "", [](P& p, const Sentence&) { return okReply(p.newProject()); });
    row("project.load", "s", okOfName(&P::load));
    row("project.save", "s", okOfName(&P::save));
    row("project.net.init", "s", [](P& p, const Sentence& s) {
        const long port = s.longArgument(0);
        VelOS::engineLog("project.net.init(" + std::to_string(port) + ")");
        if (port < 0 || port > 65535) {
            VelOS::engineLog("project.net.init: port out of range: " + std::to_string(port));
            return okReply(false);
        }
        return okReply(p.netInit(static_cast<int>(port)));
    });
    row("project.net.done", "", always(&P::netDone));
    row("project.title.set", "s", okOfName(&P::setTitle));
    row("project.title.get", "", quotedOut(&P::getTitle));
    row("project.mouse.action", "s", okOfName(&P::mouseAction));
    row("project.debug.show", "", always(&P::debugShow));
    row("project.debug.hide", "", always(&P::debugHide));
    row("project.debug.isVisible", "", truth(&P::debugIsVisible));
    row("project.videocapture.init", "ss", [](P& p, const Sentence& s) {
        p.videoCaptureInit(text(s, 0), text(s, 1));
        return okReply(true);
    });
    row("project.videocapture.done", "", always(&P::videoCaptureDone));
    row("project.videocapture.isCapturing", "", truth(&P::isCapturing));
    row("project.videocapture.getDeviceName", "", quotedOut(&P::getDeviceName));
    row("project.videocapture.getConfiguration", "", quotedOut(&P::getConfiguration));
    row("project.videocapture.flipX.set", "", always(&P::flipXSet));
    row("project.videocapture.flipX.unset", "", always(&P::flipXUnset));
    row("project.videocapture.flipX.get", "", truth(&P::flipXGet));
    row("project.videocapture.flipY.set", "", always(&P::flipYSet));
    row("project.videocapture.flipY.unset", "", always(&P::flipYUnset));
    row("project.videocapture.flipY.get", "", truth(&P::flipYGet));
    row("project.videocapture.threshold.auto", "", always(&P::thresholdAuto));
    row("project.videocapture.threshold.manual", "", [](P& p, const Sentence&) {
        p.thresholdManual();
        return okReply(true);
    });
    row("project.videocapture.threshold.manual", "l", [](P& p, const Sentence& s) {
        int level = 0;
        if (!s.intArgument(0, level)) {
            return okReply(false);
        }
        p.thresholdManual(level);
        return okReply(true);
    });
    row("project.videocapture.threshold.isAuto", "", truth(&P::thresholdIsAuto));
    row("project.videocapture.threshold.getValue", "", [](P& p, const Sentence&) {
        int value = 0;
        const bool ok = p.thresholdGetValue(value);
        return integerReply(ok, value);
    });
    row("project.resources.create", "ss", [](P& p, const Sentence& s) {
        // The package must be a file of the work directory; no name may lead out of it.
        std::string package;
        if (!VelOS::resolveInside(VelOS::getWorkDirectory(false), text(s, 1), package)) {
            return okReply(false);
        }
        return okReply(p.resourceCreate(text(s, 0), VelOS::getWorkDirectory(false) + text(s, 1)));
    });
    row("project.resources.destroy", "s", [](P& p, const Sentence& s) {
        p.resourceDestroy(text(s, 0));
        return okReply(true);
    });
    row("project.resources.getList", "", listOut(&P::resourceGetList));
    row("project.resources.getFilesInside", "s", [](P& p, const Sentence& s) {
        std::string list;
        p.resourceGetFilesInside(text(s, 0), list);
        return plainTextReply(true, list);
    });
    row("project.resources.getFilename", "s", quotedOfName(&P::resourceGetFilename));
    row("project.trackers.AR.create", "ssl", [](P& p, const Sentence& s) {
        int width = 0;
        return okReply(s.intArgument(2, width) && p.trackerCreate(text(s, 0), text(s, 1), width));
    });
    row("project.trackers.AR.destroy", "s", [](P& p, const Sentence& s) {
        p.trackerDestroy(text(s, 0));
        return okReply(true);
    });
    row("project.trackers.AR.getList", "", listOut(&P::trackerGetList));
    row("project.trackers.AR.getPatternFilename", "s", quotedOfName(&P::trackerGetPatternFilename));
    row("project.trackers.AR.getWidth", "s", [](P& p, const Sentence& s) {
        int width = 0;
        const bool ok = p.trackerGetWidth(text(s, 0), width);
        return integerReply(ok, width);
    });
    row("project.actors.viewports", "s", okOfName(&P::actorsViewports));
    row("project.actors.getAnimationsList", "s", [](P& p, const Sentence& s) {
        std::string list;
        p.actorGetAnimationsList(text(s, 0), list);
        return plainTextReply(true, list);
    });
    row("project.actors.action", "sss",
        [](P& p, const Sentence& s) { return okReply(p.actorAction(text(s, 0), text(s, 1), text(s, 2))); });
    row("project.actors.selectAll", "", [](P& p, const Sentence&) { return okReply(p.actorsSelectAll()); });
    row("project.actors.select", "s", okOfName(&P::actorSelect));
    row("project.actors.unselect", "s", okOfName(&P::actorUnselect));
    row("project.actors.isSelected", "s", okOfName(&P::actorIsSelected));
    row("project.actors.unselectAll", "",
        [](P& p, const Sentence&) { return okReply(p.actorsUnselectAll()); });

    addActorRows(rows, {"file",
                        "ssss",
                        [](P& p, const Sentence& s) {
                            return okReply(p.fileCreate(text(s, 0), text(s, 1), text(s, 2), text(s, 3)));
                        },
                        &P::fileDestroy,
                        &P::fileGetList,
                        {{"getResourceName", &P::fileGetResourceName},
                         {"getType", &P::fileGetType},
                         {"getFileName", &P::fileGetFileName}},
                        &P::fileGetTrackerName,
                        &P::fileConnect,
                        &P::fileUnconnect,
                        &P::fileTranslate,
                        &P::fileGetTranslation,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr});
    addActorRows(rows, {"mesh",
                        "sss",
                        [](P& p, const Sentence& s) {
                            return okReply(p.meshCreate(text(s, 0), text(s, 1), text(s, 2)));
                        },
                        &P::meshDestroy,
                        &P::meshGetList,
                        {{"getResourceName", &P::meshGetResourceName}, {"getMeshName", &P::meshGetMeshName}},
                        &P::meshGetTrackerName,
                        &P::meshConnect,
                        &P::meshUnconnect,
                        &P::meshTranslate,
                        &P::meshGetTranslation,
                        &P::meshRotate,
                        &P::meshPitch,
                        &P::meshYaw,
                        &P::meshRoll,
                        &P::meshGetRotation,
                        &P::meshGetAngles,
                        &P::meshScale,
                        &P::meshGetScale});
    addActorRows(rows, {"light",
                        "s",
                        [](P& p, const Sentence& s) { return okReply(p.lightCreate(text(s, 0))); },
                        &P::lightDestroy,
                        &P::lightGetList,
                        {{"getLightName", &P::lightGetLightName}},
                        &P::lightGetTrackerName,
                        &P::lightConnect,
                        &P::lightUnconnect,
                        &P::lightTranslate,
                        &P::lightGetTranslation,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr});
    addActorRows(
        rows,
        {"scene",
         "sss",
         [](P& p, const Sentence& s) { return okReply(p.sceneCreate(text(s, 0), text(s, 1), text(s, 2))); },
         &P::sceneDestroy,
         &P::sceneGetList,
         {{"getResourceName", &P::sceneGetResourceName}, {"getSceneName", &P::sceneGetSceneName}},
         &P::sceneGetTrackerName,
         &P::sceneConnect,
         &P::sceneUnconnect,
         &P::sceneTranslate,
         &P::sceneGetTranslation,
         &P::sceneRotate,
         &P::scenePitch,
         &P::sceneYaw,
         &P::sceneRoll,
         &P::sceneGetRotation,
         &P::sceneGetAngles,
         &P::sceneScale,
         &P::sceneGetScale});
    return rows;
}

} // namespace

const std::vector<CommandRow>& commandTable() {
    static const std::vector<CommandRow> table = buildTable();
    return table;
}
