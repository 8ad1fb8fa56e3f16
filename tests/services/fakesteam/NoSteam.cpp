// A library without the Steam entry points, for the Steam tests.
extern "C" int NoSteam_Nothing() { return 0; }
