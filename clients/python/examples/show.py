#!/usr/bin/env python3
"""A small show: a robot on the letter-V marker, waving. Run it from build/player/ while the
player runs the demo's start file (velquin demo/start.cmd) or `velquin --demo`:
    python3 show.py [HOST [PORT]]"""
import sys

import velquin

host = sys.argv[1] if len(sys.argv) > 1 else "127.0.0.1"
port = int(sys.argv[2]) if len(sys.argv) > 2 else velquin.DEFAULT_PORT

with velquin.Player(host, port) as player, player.listen(timeout=10) as events:
    player.upload("markers/letter-v.pat")
    player.upload("samples/robot.zip")
    player.project.new()
    player.project.trackers.AR.create("vee", "letter-v.pat", 80)   # an 80 mm marker
    player.project.resources.create("robot", "robot.zip")
    player.project.actors.mesh.create("robot", "robot", "robot.mesh")
    player.project.actors.mesh.connect("robot", "vee")
    print("animations:", player.project.actors.getAnimationsList("robot"))
    player.project.actors.action("robot", "animation_loop", "Wave")
    player.project.actors.action("robot", "play", "")
    print(events.next_named("project.actors.mesh.connected"))
