/*
 * host_format.h - value formatting and parsing of the xev host runtime:
 * the format descriptor, text forms of dates, times and numbers, pictures and
 * the locale record. Included by xevhost.h.
 */
#ifndef XEV_HOST_FORMAT_H
#define XEV_HOST_FORMAT_H

#include "xev/xevhost.h"

#endif /* XEV_HOST_FORMAT_H */
