# Run when the player is started from the desktop menu: lets an authoring tool or velquin-ctl
# on this machine or another connect on port 4000.
project.net.init(4000);
