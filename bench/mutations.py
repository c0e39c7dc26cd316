#!/usr/bin/env python3
"""Re-applies the deliberate faults of bench/mutations.md, one at a time, and runs the test that
must catch each.

Works on a copy of the source tree (the files git knows, as they are in the work tree now), built
beside it with the lock checks on, so the tree itself is never changed. A fault counts as caught
when its test fails within the time limit; a test that times out or still passes is reported.

    bench/mutations.py                 every fault
    bench/mutations.py drag-sign ...   only those named
    bench/mutations.py --list          the faults and their tests
    bench/mutations.py --baseline      the catching tests without any fault (they must pass)

Environment: VELQUIN_MUTANTS_DIR (default build/mutants) holds the copy and its build; the
first run builds the player there (tens of minutes on two cores), later runs only what changed.
"""
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# name, file, the text replaced (exactly once in the file), its replacement, targets to build,
# the ctest name pattern of the catching test.
MUTANTS = [
    ("document-save-swap", "project/SceneSerializer.cpp",
     'setNumbers(*element, {"tx", "ty", "tz"}, t);\n            setNumbers(*element, {"rw"',
     'setNumbers(*element, {"ty", "tx", "tz"}, t);\n            setNumbers(*element, {"rw"',
     ["scene_document_tests"], "scene_document_tests"),
    ("document-save-text-swap", "project/SceneSerializer.cpp",
     '!p.actorText(c, k, ActorField::Resource, name, resource) ||\n                !p.actorText(c, k, ActorField::Source, name, content)',
     '!p.actorText(c, k, ActorField::Resource, name, content) ||\n                !p.actorText(c, k, ActorField::Source, name, resource)',
     ["scene_document_tests"], "scene_document_tests"),
    ("document-load-swap", "project/SceneSerializer.cpp",
     "p.rotateActor(c, k, name, r[0], r[1], r[2], r[3])",
     "p.rotateActor(c, k, name, r[0], r[2], r[1], r[3])",
     ["scene_document_tests"], "scene_document_tests"),
    ("reply-xy-swap", "net/CommandTable.cpp",
     "return VelNet::tripleReply(ok, x, y, z);",
     "return VelNet::tripleReply(ok, y, x, z);",
     ["net_command_tests"], "net_command_tests"),
    ("event-text", "project/Events.cpp",
     '"project.title.changed("',
     '"project.title.change("',
     ["project_events_tests"], "project_events_tests"),
    ("parser-off-by-one", "net/Sentence.cpp",
     "for (std::size_t i = 0; i + 1 < text.size(); ++i) {",
     "for (std::size_t i = 0; i < text.size(); ++i) {",
     ["net_sentence_tests"], "net_sentence_tests"),
    ("escape-missing", "platform/escape.cpp",
     "        if (c == '\"') {\n            escaped += '\\\\';",
     "        if (c == '\\'') {\n            escaped += '\\\\';",
     ["platform_tests", "project_events_tests"], "platform_tests|project_events_tests"),
    ("listener-event-dropped", "project/ProjectModel.cpp",
     "    for (ListenerChannel* listener : listeners_) {\n        listener->sendLine(held_);",
     "    for (ListenerChannel* listener : listeners_) {\n        if (listener == *listeners_.begin()) continue;\n        listener->sendLine(held_);",
     ["project_model_tests"], "project_model_tests"),
    ("path-check-removed", "net/CommandTable.cpp",
     "VelOS::resolveInside(",
     "true || VelOS::resolveInside(",
     ["net_command_tests"], "net_command_tests"),
    ("default-threshold", "tracking/Manager.h",
     "int threshold = 100;",
     "int threshold = 101;",
     ["tracking_manager_tests"], "tracking_manager_tests"),
    ("semaphore-does-not-lock", "platform/Semaphore.cpp",
     "        taken_ = true;\n        owner_ = std::this_thread::get_id();",
     "        taken_ = false;\n        owner_ = std::this_thread::get_id();",
     ["platform_tests"], "platform_tests"),
    ("semaphore-never-wakes", "platform/Semaphore.cpp",
     "        freed_.notify_one();",
     "",
     ["platform_tests"], "platform_tests"),
    ("drag-sign", "app/PointerInput.cpp",
     "threeDecimals((y - lastPointerY_) * 0.01)",
     "threeDecimals((lastPointerY_ - y) * 0.01)",
     ["velquin", "player_input_tests"], "player_input_tests"),
    ("lock-out-of-order", "app/CameraBackground.cpp",
     "        VelOS::SemaphoreLock hold(stagingLock_);\n        if (!newFrame_) {",
     "        VelOS::SemaphoreLock hold(stagingLock_);\n        capture_.frameWidth();\n        if (!newFrame_) {",
     ["velquin", "player_video_tests"], "player_video_tests"),
    ("compound-split", "app/EngineProject.cpp",
     "    inProject(&context, [&] {\n        actors_.destroyDrawnFrom(context, name);\n        resources_.destroy(name);",
     "    inProject(&context, [&] { actors_.destroyDrawnFrom(context, name); });\n"
     "    inProject(&context, [&] {\n        resources_.destroy(name);",
     ["velquin", "player_resource_destroy_tests"], "player_resource_destroy_tests"),
]


def run(command, cwd, limit=None):
    try:
        done = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, timeout=limit)
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired as expired:
        return None, expired.stdout or ""


def copy_tree(source, destination):
    """The files git knows, as they are in the work tree (changes not yet committed included)."""
    listed = subprocess.run(["git", "ls-files", "-z"], cwd=source, stdout=subprocess.PIPE, check=True)
    for name in listed.stdout.decode().split("\0"):
        if not name:
            continue
        origin = os.path.join(source, name)
        target = os.path.join(destination, name)
        if not os.path.isfile(origin):
            continue
        with open(origin, "rb") as handle:
            content = handle.read()
        if os.path.exists(target):
            with open(target, "rb") as handle:
                if handle.read() == content:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(origin, target)


def main(arguments):
    if arguments[:1] == ["--list"]:
        for name, path, _, _, _, test in MUTANTS:
            print(f"{name:26} {path:30} {test}")
        return 0
    baseline = arguments[:1] == ["--baseline"]
    if baseline:
        arguments = arguments[1:]
    chosen = [m for m in MUTANTS if not arguments or m[0] in arguments]
    unknown = set(arguments) - {m[0] for m in MUTANTS}
    if unknown:
        print("unknown faults:", " ".join(sorted(unknown)), file=sys.stderr)
        return 2
    work = os.environ.get("VELQUIN_MUTANTS_DIR", os.path.join(ROOT, "build", "mutants"))
    source = os.path.join(work, "src")
    build = os.path.join(work, "build")
    os.makedirs(source, exist_ok=True)
    copy_tree(ROOT, source)
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        code, output = run(["cmake", "-S", source, "-B", build, "-DVELQUIN_LOCK_CHECKS=ON"], ROOT)
        if code != 0:
            print(output)
            return 1
    jobs = os.environ.get("VELQUIN_JOBS", "2")
    if baseline:
        targets = sorted({t for m in chosen for t in m[4]})
        tests = "|".join(sorted({m[5] for m in chosen}))
        code, output = run(["cmake", "--build", build, "-j", jobs, "--target"] + targets, ROOT)
        if code == 0:
            code, output = run(["ctest", "-R", tests, "--timeout", "300"], build, limit=1800)
        print(output[-3000:])
        return 0 if code == 0 else 1
    results = []
    for name, path, old, new, targets, test in chosen:
        file = os.path.join(source, path)
        with open(file) as handle:
            original = handle.read()
        if original.count(old) != 1:
            results.append((name, path, test, "the text to change is not found once: update the fault"))
            continue
        line = original[: original.index(old)].count("\n") + 1
        try:
            with open(file, "w") as handle:
                handle.write(original.replace(old, new))
            code, output = run(["cmake", "--build", build, "-j", jobs, "--target"] + targets, ROOT)
            if code != 0:
                verdict = "did not build: " + output.strip().splitlines()[-1][:100]
            else:
                code, output = run(["ctest", "-R", test, "--timeout", "300"], build, limit=900)
                if code is None or "Timeout" in output:
                    verdict = "NOT CAUGHT (the test hung or timed out)"
                elif code == 0:
                    verdict = "NOT CAUGHT (the test passes)"
                else:
                    verdict = "caught by " + test
        finally:
            with open(file, "w") as handle:
                handle.write(original)
        results.append((name, f"{path}:{line}", test, verdict))
        print(f"{name:26} {path}:{line:<6} {verdict}", flush=True)
    caught = sum(1 for r in results if r[3].startswith("caught"))
    print(f"{caught} caught, {len(results) - caught} not caught")
    return 0 if caught == len(results) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
