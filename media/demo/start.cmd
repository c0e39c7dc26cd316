# Start-up commands of the demo: open the remote control and play the recorded camera.
project.net.init(4000);
project.videocapture.init("File", "frames@30");
