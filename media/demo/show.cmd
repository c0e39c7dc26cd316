# The demo show, sent by scripts/run.sh with velquin-ctl once the pattern files are uploaded.
project.title.set("Velquin demo");
project.trackers.AR.create("vee", "letter-v.pat", 80);
project.trackers.AR.create("eff", "letter-f.pat", 80);
