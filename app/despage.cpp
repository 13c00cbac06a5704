#include "app/mainwindow.h"
#include "ui_mainwindow.h"
