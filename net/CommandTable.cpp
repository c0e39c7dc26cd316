#include "net/CommandTable.h"

#include "net/Replies.h"
#include "net/Sentence.h"
#include "platform/CommandContext.h"
#include "platform/enginelog.h"
#include "platform/pathguard.h"
#include "platform/workdir.h"
#include "project/ProjectOperations.h"

using VelNet::Sentence;

namespace {

using P = ProjectOperations;
using C = VelOS::CommandContext;
using Run = std::function<std::string(P&, C&, const Sentence&)>;

std::string text(const Sentence& s, std::size_t i) {
    return s.textArgument(i);
}
double number(const Sentence& s, std::size_t i) {
    return s.doubleArgument(i);
}

// One actor kind's rows: the rows every kind has, its own text getters, and for mesh and scene
// actors the turning and scaling rows. The kind is an argument of one set of operations.
struct ActorRows {
    ActorKind kind;
    const char* createSignature;
    Run create;
    std::vector<std::pair<const char*, ActorField>> getters; // in table order, before getTrackerName
    bool turns;
};

void addActorRows(std::vector<CommandRow>& rows, const ActorRows& actor) {
    const ActorKind k = actor.kind;
    const std::string prefix = std::string("project.actors.") + actorKindWord(k) + ".";
    auto row = [&](const char* operation, const char* signature, Run run) {
        rows.push_back({prefix + operation, signature, std::move(run)});
    };
    auto getter = [k](ActorField field) {
        return [k, field](P& p, C& c, const Sentence& s) {
            std::string value;
            const bool ok = p.actorText(c, k, field, text(s, 0), value);
            return VelNet::quotedTextReply(ok, value);
        };
    };
    auto triple = [k](bool (P::*m)(C&, ActorKind, const std::string&, double, double, double)) {
        return [k, m](P& p, C& c, const Sentence& s) {
            return VelNet::okReply((p.*m)(c, k, text(s, 0), number(s, 1), number(s, 2), number(s, 3)));
        };
    };
    auto tripleOut = [k](bool (P::*m)(C&, ActorKind, const std::string&, double&, double&, double&)) {
        return [k, m](P& p, C& c, const Sentence& s) {
            double x = 0, y = 0, z = 0;
            const bool ok = (p.*m)(c, k, text(s, 0), x, y, z);
            return VelNet::tripleReply(ok, x, y, z);
        };
    };
    auto turn = [k](TurnAxis axis) {
        return [k, axis](P& p, C& c, const Sentence& s) {
            return VelNet::okReply(p.turnActor(c, k, text(s, 0), axis, number(s, 1)));
        };
    };

    row("create", actor.createSignature, actor.create);
    row("destroy", "s", [k](P& p, C& c, const Sentence& s) {
        p.destroyActor(c, k, text(s, 0));
        return VelNet::okReply(true);
    });
    row("getList", "", [k](P& p, C& c, const Sentence&) {
        std::string list;
        p.actorList(c, k, list);
        return VelNet::plainTextReply(true, list);
    });
    for (const auto& named : actor.getters) {
        row(named.first, "s", getter(named.second));
    }
    row("getTrackerName", "s", getter(ActorField::Tracker));
    row("connect", "ss", [k](P& p, C& c, const Sentence& s) {
        return VelNet::okReply(p.connectActor(c, k, text(s, 0), text(s, 1)));
    });
    row("unconnect", "s",
        [k](P& p, C& c, const Sentence& s) { return VelNet::okReply(p.unconnectActor(c, k, text(s, 0))); });
    row("translate", "sfff", triple(&P::translateActor));
    row("getTranslation", "s", tripleOut(&P::actorTranslation));
    if (!actor.turns) {
        return; // light and file actors end here
    }
    row("rotate", "sffff", [k](P& p, C& c, const Sentence& s) {
        return VelNet::okReply(
            p.rotateActor(c, k, text(s, 0), number(s, 1), number(s, 2), number(s, 3), number(s, 4)));
    });
    row("pitch", "sf", turn(TurnAxis::Pitch));
    row("yaw", "sf", turn(TurnAxis::Yaw));
    row("roll", "sf", turn(TurnAxis::Roll));
    row("getRotation", "s", [k](P& p, C& c, const Sentence& s) {
        double w = 0, x = 0, y = 0, z = 0;
        const bool ok = p.actorRotation(c, k, text(s, 0), w, x, y, z);
        return VelNet::quadrupleReply(ok, w, x, y, z);
    });
    row("getAngles", "s", tripleOut(&P::actorAngles));
    row("scale", "sfff", triple(&P::scaleActor));
    row("getScale", "s", tripleOut(&P::actorScale));
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
    auto always = [](void (P::*m)(C&)) {
        return [m](P& p, C& c, const Sentence&) {
            (p.*m)(c);
            return okReply(true);
        };
    };
    auto truth = [](bool (P::*m)(C&)) {
        return [m](P& p, C& c, const Sentence&) { return truthReply((p.*m)(c)); };
    };
    auto quotedOut = [](bool (P::*m)(C&, std::string&)) {
        return [m](P& p, C& c, const Sentence&) {
            std::string value;
            const bool ok = (p.*m)(c, value);
            return quotedTextReply(ok, value);
        };
    };
    auto listOut = [](void (P::*m)(C&, std::string&)) {
        return [m](P& p, C& c, const Sentence&) {
            std::string list;
            (p.*m)(c, list);
            return plainTextReply(true, list);
        };
    };
    auto okOfName = [](bool (P::*m)(C&, const std::string&)) {
        return [m](P& p, C& c, const Sentence& s) { return okReply((p.*m)(c, text(s, 0))); };
    };
    auto quotedOfName = [](bool (P::*m)(C&, const std::string&, std::string&)) {
        return [m](P& p, C& c, const Sentence& s) {
            std::string value;
            const bool ok = (p.*m)(c, text(s, 0), value);
            return quotedTextReply(ok, value);
        };
    };

    row("quit", "", [](P&, C&, const Sentence&) { return okReply(true); });
    row("project.new", "", [](P& p, C& c, const Sentence&) { return okReply(p.newProject(c)); });
    row("project.load", "s", okOfName(&P::load));
    row("project.save", "s", okOfName(&P::save));
    row("project.net.init", "s", [](P& p, C& c, const Sentence& s) {
        const long port = s.longArgument(0);
        VelOS::engineLog("project.net.init(" + std::to_string(port) + ")");
        if (port < 0 || port > 65535) {
            VelOS::engineLog("project.net.init: port out of range: " + std::to_string(port));
            c.fail("port out of range (0 to 65535)");
            return okReply(false);
        }
        return okReply(p.netInit(c, static_cast<int>(port)));
    });
    row("project.net.done", "", always(&P::netDone));
    row("project.title.set", "s", okOfName(&P::setTitle));
    row("project.title.get", "", quotedOut(&P::getTitle));
    row("project.mouse.action", "s", okOfName(&P::mouseAction));
    row("project.debug.show", "", always(&P::debugShow));
    row("project.debug.hide", "", always(&P::debugHide));
    row("project.debug.isVisible", "", truth(&P::debugIsVisible));
    row("project.videocapture.init", "ss", [](P& p, C& c, const Sentence& s) {
        p.videoCaptureInit(c, text(s, 0), text(s, 1));
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
    row("project.videocapture.threshold.manual", "", [](P& p, C& c, const Sentence&) {
        p.thresholdManual(c);
        return okReply(true);
    });
    row("project.videocapture.threshold.manual", "l", [](P& p, C& c, const Sentence& s) {
        int level = 0;
        if (!s.intArgument(0, level)) {
            return okReply(false);
        }
        p.thresholdManual(c, level);
        return okReply(true);
    });
    row("project.videocapture.threshold.isAuto", "", truth(&P::thresholdIsAuto));
    row("project.videocapture.threshold.getValue", "", [](P& p, C& c, const Sentence&) {
        int value = 0;
        const bool ok = p.thresholdGetValue(c, value);
        return integerReply(ok, value);
    });
    row("project.resources.create", "ss", [](P& p, C& c, const Sentence& s) {
        // The package must be a file of the work directory; no name may lead out of it.
        std::string package;
        if (!VelOS::resolveInside(VelOS::getWorkDirectory(false), text(s, 1), package)) {
            c.fail("the package file name leads out of the work directory");
            return okReply(false);
        }
        return okReply(p.resourceCreate(c, text(s, 0), VelOS::getWorkDirectory(false) + text(s, 1)));
    });
    row("project.resources.destroy", "s", [](P& p, C& c, const Sentence& s) {
        p.resourceDestroy(c, text(s, 0));
        return okReply(true);
    });
    row("project.resources.getList", "", listOut(&P::resourceGetList));
    row("project.resources.getFilesInside", "s", [](P& p, C& c, const Sentence& s) {
        std::string list;
        p.resourceGetFilesInside(c, text(s, 0), list);
        return plainTextReply(true, list);
    });
    row("project.resources.getFilename", "s", quotedOfName(&P::resourceGetFilename));
    row("project.trackers.AR.create", "ssl", [](P& p, C& c, const Sentence& s) {
        int width = 0;
        return okReply(s.intArgument(2, width) && p.trackerCreate(c, text(s, 0), text(s, 1), width));
    });
    row("project.trackers.AR.destroy", "s", [](P& p, C& c, const Sentence& s) {
        p.trackerDestroy(c, text(s, 0));
        return okReply(true);
    });
    row("project.trackers.AR.getList", "", listOut(&P::trackerGetList));
    row("project.trackers.AR.getPatternFilename", "s", quotedOfName(&P::trackerGetPatternFilename));
    row("project.trackers.AR.getWidth", "s", [](P& p, C& c, const Sentence& s) {
        int width = 0;
        const bool ok = p.trackerGetWidth(c, text(s, 0), width);
        return integerReply(ok, width);
    });
    row("project.actors.viewports", "s", okOfName(&P::actorsViewports));
    row("project.actors.getAnimationsList", "s", [](P& p, C& c, const Sentence& s) {
        std::string list;
        p.actorGetAnimationsList(c, text(s, 0), list);
        return plainTextReply(true, list);
    });
    row("project.actors.action", "sss", [](P& p, C& c, const Sentence& s) {
        return okReply(p.actorAction(c, text(s, 0), text(s, 1), text(s, 2)));
    });
    row("project.actors.selectAll", "",
        [](P& p, C& c, const Sentence&) { return okReply(p.actorsSelectAll(c)); });
    row("project.actors.select", "s", okOfName(&P::actorSelect));
    row("project.actors.unselect", "s", okOfName(&P::actorUnselect));
    row("project.actors.isSelected", "s", okOfName(&P::actorIsSelected));
    row("project.actors.unselectAll", "",
        [](P& p, C& c, const Sentence&) { return okReply(p.actorsUnselectAll(c)); });

    addActorRows(rows, {ActorKind::File,
                        "ssss",
                        [](P& p, C& c, const Sentence& s) {
                            return okReply(p.fileCreate(c, text(s, 0), text(s, 1), text(s, 2), text(s, 3)));
                        },
                        {{"getResourceName", ActorField::Resource},
                         {"getType", ActorField::Type},
                         {"getFileName", ActorField::Source}},
                        false});
    addActorRows(rows, {ActorKind::Mesh,
                        "sss",
                        [](P& p, C& c, const Sentence& s) {
                            return okReply(p.meshCreate(c, text(s, 0), text(s, 1), text(s, 2)));
                        },
                        {{"getResourceName", ActorField::Resource}, {"getMeshName", ActorField::Source}},
                        true});
    addActorRows(rows, {ActorKind::Light,
                        "s",
                        [](P& p, C& c, const Sentence& s) { return okReply(p.lightCreate(c, text(s, 0))); },
                        {{"getLightName", ActorField::Source}},
                        false});
    addActorRows(rows, {ActorKind::Scene,
                        "sss",
                        [](P& p, C& c, const Sentence& s) {
                            return okReply(p.sceneCreate(c, text(s, 0), text(s, 1), text(s, 2)));
                        },
                        {{"getResourceName", ActorField::Resource}, {"getSceneName", ActorField::Source}},
                        true});
    return rows;
}

} // namespace

const std::vector<CommandRow>& commandTable() {
    static const std::vector<CommandRow> table = buildTable();
    return table;
}
