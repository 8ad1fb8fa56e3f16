// A stand-in for the Steam client library in the Steam tests: the three entry points the
// runner looks up, counting their calls; FakeSteam_SetInit decides what SteamAPI_Init answers.
extern "C" {

static int g_init = 0, g_callbacks = 0, g_shutdown = 0;
static bool g_answer = true;

bool SteamAPI_Init()
{
    ++g_init;
    return g_answer;
}
void SteamAPI_RunCallbacks() { ++g_callbacks; }
void SteamAPI_Shutdown() { ++g_shutdown; }

// which: 0 init, 1 callbacks, 2 shutdown.
int FakeSteam_Count(int which) { return which == 0 ? g_init : which == 1 ? g_callbacks : g_shutdown; }
void FakeSteam_Reset(bool answer)
{
    g_init = g_callbacks = g_shutdown = 0;
    g_answer = answer;
}
}
