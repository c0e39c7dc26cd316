# The demo show, sent by scripts/run.sh with velquin-ctl once the pattern files and the sample
# package are uploaded.
project.title.set("Velquin demo");
project.trackers.AR.create("vee", "letter-v.pat", 80);
project.trackers.AR.create("eff", "letter-f.pat", 80);
project.resources.create("robot", "robot.zip");
project.actors.mesh.create("robot", "robot", "robot.mesh");
project.actors.mesh.connect("robot", "vee");
project.actors.light.create("lamp");
project.actors.light.connect("lamp", "vee");
project.actors.light.translate("lamp", 0, 0, 200);
project.actors.scene.create("stage", "robot", "robot_stage.osm");
project.actors.scene.connect("stage", "eff");
project.actors.action("robot", "play", "Wave");
