// A decoder that reaches up into the worker: the layer check must refuse it.
#include "archive/extractor.h"
