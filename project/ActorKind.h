#pragma once

// The four kinds of actor, and the word each has in commands, events and operation names
// ("project.actors.mesh.translate", "mesh translated ...", meshTranslate).
enum class ActorKind { Light, File, Mesh, Scene };

inline const char* actorKindWord(ActorKind kind) {
    switch (kind) {
    case ActorKind::Light:
        return "light";
    case ActorKind::File:
        return "file";
    case ActorKind::Mesh:
        return "mesh";
    case ActorKind::Scene:
        return "scene";
    }
    return "";
}

// What the text getters of an actor read: its tracker, its package, the content it shows (the
// engine light's name, the file, the mesh or the scene of its package) and a file actor's type.
enum class ActorField { Tracker, Resource, Source, Type };

// pitch, yaw and roll turn an actor about one of its own axes.
enum class TurnAxis { Pitch, Yaw, Roll };
