#!/usr/bin/python3
"""A TCP relay on 127.0.0.1 that adds latency, as a shop hosted elsewhere has.

    delay_proxy.py TARGET_PORT --rtt-ms 20 [--listen-port 0]

Every chunk is passed on half the round-trip time after it arrived, in each
direction, without holding back the chunks behind it: the line gets slow,
not narrow. Prints the listening port on the first line of stdout, then
relays until terminated.
"""
import argparse
import asyncio
import collections
import socket
import sys


async def pump(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = collections.deque()
    ready = asyncio.Event()
    done = False

    async def send():
        while True:
            while not queue:
                if done:
                    return
                ready.clear()
                await ready.wait()
            due, data = queue[0]
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            queue.popleft()
            if data is None:
                break
            writer.write(data)
            await writer.drain()
        try:
            writer.write_eof()
        except (OSError, RuntimeError):
            pass

    sender = asyncio.ensure_future(send())
    try:
        while True:
            data = await reader.read(1 << 16)
            queue.append((loop.time() + delay, data or None))
            ready.set()
            if not data:
                break
        await sender
    except (ConnectionError, OSError):
        sender.cancel()
    finally:
        done = True
        ready.set()


def nodelay(writer):
    sock = writer.get_extra_info("socket")
    if sock is not None:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)


async def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("target_port", type=int)
    ap.add_argument("--rtt-ms", type=float, default=20.0)
    ap.add_argument("--listen-port", type=int, default=0)
    a = ap.parse_args()
    delay = a.rtt_ms / 2000.0

    async def handle(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", a.target_port)
        except OSError:
            client_writer.close()
            return
        nodelay(client_writer)
        nodelay(server_writer)
        try:
            await asyncio.gather(pump(client_reader, server_writer, delay),
                                 pump(server_reader, client_writer, delay))
        finally:
            for w in (client_writer, server_writer):
                try:
                    w.close()
                except OSError:
                    pass

    server = await asyncio.start_server(handle, "127.0.0.1", a.listen_port)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
