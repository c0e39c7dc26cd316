#pragma once

// The actors' own texts: engine object names, log and standard output lines, action keywords.
// Clients and log readers rely on them exactly as written.
namespace ActorTexts {

// Engine object names: class prefix + per-class number + one of the suffixes.
constexpr const char* MeshActorPrefix = "Velquin::MeshActor::";
constexpr const char* LightActorPrefix = "Velquin::LightActor::";
constexpr const char* FileActorPrefix = "Velquin::FileActor::";
constexpr const char* SceneActorPrefix = "Velquin::SceneActor::";
constexpr const char* NodeSuffix = "::Node";
constexpr const char* SelectedEntitySuffix = "::SelectedEntity";
constexpr const char* ActorNodeSuffix = "::ActorNode";
constexpr const char* EntitySuffix = "::Entity";
constexpr const char* LightSuffix = "::Light";
constexpr const char* LightTargetSuffix = "::LightTarget";
constexpr const char* Separator = "::";
constexpr const char* LightNamePrefix = "Light_";

// Meshes of the player's own archive.
constexpr const char* SelectionMesh = "platform.mesh";
constexpr const char* BulbMesh = "light.mesh";
constexpr const char* MeshExtension = ".mesh";

// Engine log lines.
constexpr const char* MeshInitFailed = "MeshActor::init cannot create actor";
constexpr const char* LightInitFailed = "LightActor::init cannot create actor";
constexpr const char* FileInitFailed = "FileActor::init cannot create actor";
constexpr const char* FileOpenRefused = "FileActor::action: refused to open ";
constexpr const char* FileOpenBusy =
    "FileActor::action: a viewer is still starting or too many are open, not opening ";
constexpr const char* SceneEntitySkipped = "SceneActor::init: entity without a mesh skipped: ";

// Standard output lines.
constexpr const char* MeshActivated = "MeshActor::activated!";
constexpr const char* MeshDeactivated = "MeshActor::deactivated";
constexpr const char* LightActivated = "LightActor::activated!";
constexpr const char* LightDeactivated = "LightActor::deactivated";
constexpr const char* FileActivated = "FileActor::activated!";
constexpr const char* FileDeactivated = "FileActor::deactivated";
constexpr const char* SceneActivated = "SceneActor::activated!";
constexpr const char* SceneDeactivated = "SceneActor::deactivated";

// File actors.
constexpr const char* WebType = "web";
constexpr const char* OpenVerb = "Open";

// Action keywords.
constexpr const char* Play = "play";
constexpr const char* Pause = "pause";
constexpr const char* Animation = "animation";
constexpr const char* AnimationLoop = "animation_loop";
constexpr const char* MoveX = "moveX";
constexpr const char* MoveY = "moveY";
constexpr const char* MoveZ = "moveZ";
constexpr const char* RotateX = "rotateX";
constexpr const char* RotateY = "rotateY";
constexpr const char* RotateZ = "rotateZ";
constexpr const char* ScaleX = "scaleX";
constexpr const char* ScaleY = "scaleY";
constexpr const char* ScaleZ = "scaleZ";

} // namespace ActorTexts
