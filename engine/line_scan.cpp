// The line-end scan's steps at the ends of the buffer, and its ways to stop.
#include "line_scan.h"

// Looks at the buffer from index `from` on, up to its end or the limit; a
// scan that does not look goes to that end at once.
static void scan_buffer_from(line_scan* scan, uint32_t from) {
    scan->bytes_end = scan->limit - in.base < in.filled ? scan->limit - in.base : in.filled;
    scan->next_block = scan->looks ? from : scan->bytes_end;
    scan->block_ends = 0;
}

void begin_scan(line_scan* scan, uint32_t window, bool copies, bool looks, uint32_t limit) {
    uint32_t next = in.next;
    *scan = line_scan{window, copies, looks, limit, next, next, !in.mid_line, next, next, next, 0,
                      false, false, false, in.base + next};
    scan_buffer_from(scan, next);
}

void stop_before_line(line_scan* scan) {
    write_run(scan, scan->line);
    in.next = scan->line;
    in.mid_line = false;
}

void end_text_at_ctrl_z(line_scan* scan) {
    scan->text_ended = true;
    scan->limit = in.base + scan->end;
    scan->block_ends = 0;
    scan->next_block = scan->bytes_end = scan->end;
}

void drop_line(line_scan* scan) {
    write_run(scan, scan->line);
    scan->unwritten = scan->end + 1;
}

// The input has ended, or a read failed: the scan is over.
static bool input_over(scan_stop* stop) {
    in.at_end = true;
    *stop = stopped_for_good;
    return false;
}

bool scan_buffer_end(line_scan* scan, scan_stop* stop) {
    if (in.base + scan->bytes_end >= scan->limit) {
        write_run(scan, scan->bytes_end);
        in.next = scan->bytes_end;
        if (scan->text_ended) in.at_end = true;
        *stop = stopped_for_good;
        return false;
    }
    if (scan->line_start && !scan->line_told) {
        // A line with fewer bytes here than the scan needs together goes
        // to the buffer's front, with more read behind it.
        uint32_t buffered = in.filled - scan->line;
        if (buffered < scan->window && !in.file_ended) {
            write_run(scan, scan->line);
            in.next = scan->line;
            fill_input_ahead(scan->window);
            if (in.failed) return input_over(stop);
            scan->unwritten = scan->line = 0;
            scan_buffer_from(scan, buffered);
            return true;
        }
        scan->line_told = true;
        scan->end = scan->bytes_end;
        *stop = stopped_in_line;
        return false;
    }
    write_run(scan, in.filled);
    in.next = in.filled;
    if (!fill_input()) return input_over(stop);
    scan->unwritten = scan->line = 0;
    scan->line_start = scan->line_told = false;
    scan_buffer_from(scan, 0);
    return true;
}
