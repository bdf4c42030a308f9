// A do-nothing program with an NT6 version resource: the Wine tests put it
// where the Windows directory's regedit.exe is (Wine's own reports 5.2), so
// that the hand-off takes the NT6 path there.
int main() { return 0; }
