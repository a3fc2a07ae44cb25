// The least a Qt command-line program does: create the application object and exit. run.sh sets
// zimprog's whole-process time beside this one's.
#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    return 0;
}
