#!/usr/bin/env python3
"""The harness's loopback statistics servers on the applet's port 8080: the scripted server
(recorded request, batches with pauses, a server that never answers), the private nginx and
php -S serving server/."""
import socket
import time
import unittest

import harness as h

REQUEST = (b"GET /stat/uninstall.php?prj=My+Tool&reason=Too+expensive&os=Windows+XP HTTP/1.1\r\n"
           b"User-Agent: ExitPoll-HTTP\r\nHost: 127.0.0.1\r\n\r\n")


def Connect():
    s = socket.create_connection(("127.0.0.1", h.STATS_PORT), timeout=5)
    s.sendall(REQUEST)
    return s


class ScriptedServerTest(unittest.TestCase):
    def test_batches_arrive_apart_and_the_request_is_recorded(self):
        script = [b"HTTP/1.1 200 OK\r\n\r\n", h.Pause(0.4), b"OK"]
        with h.ScriptedServer(script) as server, Connect() as s:
            first = s.recv(100)
            started = time.monotonic()
            second = s.recv(100)
            gap = time.monotonic() - started
            self.assertEqual((first, second, s.recv(100)), (b"HTTP/1.1 200 OK\r\n\r\n", b"OK", b""))
            self.assertGreaterEqual(gap, 0.3)
            self.assertEqual(server.WaitForRequest(), REQUEST)

    def test_silent_server_holds_the_connection_and_notes_the_close(self):
        server = h.ScriptedServer([], close=False)
        with Connect() as s:
            s.settimeout(0.5)
            with self.assertRaises(socket.timeout):
                s.recv(100)
            closing = time.monotonic()
        # Noted when the client closed, not before: the accept itself may come late under load.
        h.WaitUntil(lambda: server.peerCloseTimes[0], 5, what="the noted close")
        self.assertGreaterEqual(server.peerCloseTimes[0], closing)
        with Connect() as s:  # a connection still open when the server stops is closed
            # The record exists from the accept on; wait for its bytes, not just for it.
            h.WaitUntil(lambda: server.Requests()[1:] == [REQUEST], 5,
                        what="the second connection's request")
            server.Stop()
            s.settimeout(5)
            self.assertEqual(s.recv(100), b"")
        self.assertEqual(server.Requests(), [REQUEST, REQUEST])


class RealServersTest(unittest.TestCase):
    def test_nginx_answers_ok_with_keep_alive(self):
        with h.Nginx() as nginx:
            answer = h.HttpGet(h.REPORT_PATH + "?prj=A&reason=B&os=C", timeout=1.5)
            self.assertTrue(answer.startswith(b"HTTP/1.1 200 OK\r\n"), answer)
            self.assertIn(b"\r\nContent-Length: 3\r\n", answer)
            self.assertIn(b"\r\nConnection: keep-alive\r\n", answer)
            self.assertTrue(answer.endswith(b"\r\n\r\nOK\n"), answer)
            self.assertTrue(h.HttpGet("/other", timeout=1.5).startswith(b"HTTP/1.1 404"))
            h.WaitUntil(lambda: len(nginx.AccessLog()) == 2, 5, what="nginx's log")
            self.assertEqual(nginx.AccessLog()[0],
                             b"GET /stat/uninstall.php?prj=A&reason=B&os=C HTTP/1.1")

    def test_php_serves_the_endpoint_and_stores_the_report(self):
        with h.PhpServer() as php:
            answer = h.HttpGet(h.REPORT_PATH + "?prj=My+Tool&reason=Other%3a+%e9&os=Windows+98")
            self.assertTrue(answer.startswith(b"HTTP/1.1 200 OK\r\n"), answer)
            self.assertTrue(answer.endswith(b"\r\n\r\nOK\n"), answer)
            self.assertEqual([row[1:] for row in php.Rows()],
                             [(b"My Tool", b"Other: \xe9", b"Windows 98")])


if __name__ == "__main__":
    unittest.main(verbosity=2)
