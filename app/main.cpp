// naviro: the talking FTP client. Wiring of the modules and the start-up.
int main() { return 0; }
