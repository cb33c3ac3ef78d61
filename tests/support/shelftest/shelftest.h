// Everything the bookshelf's test host offers, in one include.
#pragma once

#include "diagnostics.h"
#include "hostfakes.h"
#include "library.h"
#include "module.h"
#include "msgbox.h"
#include "shelf.h"
#include "wait.h"
