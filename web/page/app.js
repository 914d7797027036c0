// The page's side of the gateway: one WebSocket to /ws carrying JSON objects
// whose "t" names the kind (page → gateway: join, say, leave, ping; gateway →
// page: state, chat, joined, left, people, pong). Everything received goes
// into the page as text (textContent), never as markup.
'use strict';

(() => {
  // The gateway closes a socket that sends more than this in one message.
  const MaxMessageBytes = 8192;
  // How long a socket that looks open may take to answer a ping before it is
  // taken for dead (after sleep, a network change, a hidden tab's return).
  const PongWaitMs = 5000;
  // Retries after a drop or an unreachable server: soon at first, then less
  // often, each with up to a quarter more at random so that a whole lab does
  // not come back in the same instant.
  const RetryDelaysMs = [250, 1000, 2000, 5000, 10000, 20000, 30000];
  // After "Ayrıl" the gateway closes the socket once the leave is sent; a
  // socket that is still open this much later is closed from here.
  const LeaveGraceMs = 5000;
  // A wall-clock jump this much larger than the tick means the machine slept.
  const TickMs = 5000;
  const SleepGapMs = 15000;
  // Entries kept on the page; older ones go, so a long day stays light.
  const MaxEntries = 2000;
  const StopNoticeName = 'SUNUCU MESAJI';
  const PolicyClose = 1008;
  const NickKey = 'sohbet.lakap';
  const IdKey = 'sohbet.id';
  const IdNickKey = 'sohbet.id.lakap';
  const Title = 'Sohbet';
  const AgainLater = ' Birazdan yeniden denenecek.';

  const byId = (id) => document.getElementById(id);
  const ui = {
    status: byId('status'), retry: byId('retry'), leave: byId('leave'),
    login: byId('login'), loginForm: byId('login-form'), nick: byId('nick'),
    chat: byId('chat'), conversation: byId('conversation'), aside: document.querySelector('aside'),
    count: byId('count'), people: byId('people'), sayForm: byId('say-form'), line: byId('line'),
  };

  let nick = '';
  let wanted = false;    // the user asked to be in the chat and has not left
  let joined = false;    // the gateway said so on the current socket
  let everJoined = false;
  let ws = null;
  let retryTimer = 0;
  let retries = 0;
  let pongTimer = 0;
  let unread = 0;
  let follow = true;     // the conversation is scrolled to its end
  let lastTick = Date.now();
  let idInMemory = '';

  // Storage can be refused (private windows, policies); the page then works
  // without remembering.
  function stored(storage, key) {
    try { return storage.getItem(key) || ''; } catch { return ''; }
  }
  function store(storage, key, value) {
    try { storage.setItem(key, value); } catch { /* not remembered */ }
  }

  // The session's id: a socket that joins with it again takes over the
  // session the gateway still holds for a dropped socket, so the person is
  // not listed twice. sessionStorage keeps it, with its nickname, across a
  // reload of this tab (a phone may drop a tab in the background), and a
  // join under another nickname takes a new one, so a copy of the tab does
  // not take over a session that is not its own.
  function sessionId() {
    if (!idInMemory) {
      const kept = stored(sessionStorage, IdKey);
      if (kept && stored(sessionStorage, IdNickKey) === nick) {
        idInMemory = kept;
      } else {
        const bytes = new Uint8Array(16);
        crypto.getRandomValues(bytes);
        idInMemory = Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
        store(sessionStorage, IdKey, idInMemory);
        store(sessionStorage, IdNickKey, nick);
      }
    }
    return idInMemory;
  }

  function showStatus(text, offerRetry = false) {
    ui.status.textContent = text;
    ui.retry.hidden = !offerRetry;
  }

  function updateTitle() {
    const base = joined ? `${Title} — ${nick}` : Title;
    document.title = unread > 0 ? `(${unread}) ${base}` : base;
  }

  function away() {
    return document.visibilityState === 'hidden' || !document.hasFocus();
  }

  function seen() {
    if (unread === 0 || away())
      return;
    unread = 0;
    updateTitle();
  }

  // Conversation

  function append(entry) {
    ui.conversation.append(entry);
    while (ui.conversation.childElementCount > MaxEntries)
      ui.conversation.firstElementChild.remove();
    if (follow)
      ui.conversation.scrollTop = ui.conversation.scrollHeight;
  }

  function addEntry(text, kind) {
    const entry = document.createElement('p');
    entry.className = `entry ${kind}`;
    entry.textContent = text;
    append(entry);
  }

  // A "<name>" at the start is set in bold; the stop notice stands apart.
  function addChat(text) {
    const entry = document.createElement('p');
    entry.className = 'entry chat';
    const end = text.startsWith('<') ? text.indexOf('>') : -1;
    if (end > 0) {
      const speaker = text.slice(1, end);
      if (speaker === StopNoticeName)
        entry.className = 'entry notice';
      else if (speaker === nick)
        entry.className = 'entry chat own';
      const name = document.createElement('b');
      name.textContent = text.slice(0, end + 1);
      entry.append(name, text.slice(end + 1));
    } else {
      entry.textContent = text;
    }
    append(entry);
    if (away()) {
      ++unread;
      updateTitle();
    }
  }

  function showPeople(names, sure) {
    ui.people.replaceChildren(...names.map((name) => {
      const item = document.createElement('li');
      item.textContent = name;
      return item;
    }));
    ui.aside.classList.toggle('unsure', !sure);
    ui.count.textContent = sure ? `${names.length} kişi bağlı`
      : 'Liste sunucudan ayrımsız geldi; kimlerin bağlı olduğu kesin değil.';
  }

  function strings(value) {
    return Array.isArray(value) ? value.map(String) : [];
  }

  // The socket

  function send(message) {
    if (ws && ws.readyState === WebSocket.OPEN)
      ws.send(JSON.stringify(message));
  }

  // Lets go of the current socket without waiting for it: a socket that
  // died in a sleep may take minutes to report its close.
  function abandon() {
    clearTimeout(pongTimer);
    pongTimer = 0;
    if (!ws)
      return;
    const old = ws;
    ws = null;
    old.onopen = old.onmessage = old.onclose = null;
    old.close();
  }

  function open() {
    clearTimeout(retryTimer);
    retryTimer = 0;
    abandon();
    joined = false;
    updateTitle();
    showStatus(everJoined ? 'Yeniden bağlanılıyor…' : 'Bağlanılıyor…');
    const socket = new WebSocket(`${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/ws`);
    ws = socket;
    socket.onopen = () => send({ t: 'join', nick, id: sessionId() });
    socket.onmessage = (event) => received(event.data);
    socket.onclose = (event) => closed(event.code, event.reason);
  }

  // A socket the gateway keeps open after an "ended" carries the next join
  // itself; one that closed or stopped answering is replaced.
  function retryLater(text, keepSocket = false) {
    if (!keepSocket)
      abandon();
    joined = false;
    updateTitle();
    const base = RetryDelaysMs[Math.min(retries, RetryDelaysMs.length - 1)];
    ++retries;
    showStatus(text + AgainLater, true);
    clearTimeout(retryTimer);
    retryTimer = setTimeout(again, base + Math.random() * base / 4);
  }

  function again() {
    if (!ws || ws.readyState !== WebSocket.OPEN)
      return open();
    clearTimeout(retryTimer);
    retryTimer = 0;
    showStatus('Yeniden bağlanılıyor…');
    send({ t: 'join', nick, id: sessionId() });
  }

  function received(data) {
    let message;
    try {
      message = JSON.parse(data);
    } catch {
      return;
    }
    if (!message || typeof message !== 'object')
      return;
    switch (message.t) {
    case 'state': stateArrived(message); break;
    case 'chat': addChat(String(message.text ?? '')); break;
    case 'joined': addEntry(String(message.text ?? ''), 'presence'); break;
    case 'left':
      for (const name of strings(message.names))
        addEntry(`${name} sohbetten ayrıldı.`, 'presence');
      break;
    case 'people': showPeople(strings(message.names), message.sure === true); break;
    case 'pong':
      clearTimeout(pongTimer);
      pongTimer = 0;
      break;
    }
  }

  function stateArrived(message) {
    switch (message.state) {
    case 'connecting':
      showStatus('Sunucuya bağlanılıyor…');
      break;
    case 'joined':
      if (everJoined && !joined)
        addEntry('Yeniden bağlandınız.', 'notice');
      // Only the first time: on a phone, focus opens the keyboard.
      if (!everJoined && !ui.chat.contains(document.activeElement))
        ui.line.focus();
      joined = true;
      everJoined = true;
      retries = 0;
      showStatus(`“${nick}” lakabıyla bağlısınız.`);
      updateTitle();
      break;
    case 'ended': {
      const reason = String(message.reason || 'Sunucuyla bağlantı kesildi.');
      if (joined)
        addEntry(reason, 'notice');
      if (message.retry === false)
        ended(reason);
      else
        retryLater(reason, true);
      break;
    }
    }
  }

  function closed(code, reason) {
    ws = null;
    clearTimeout(pongTimer);
    pongTimer = 0;
    if (code === PolicyClose) {
      // A nickname the gateway does not take, or another tab with this
      // tab's id (a duplicated tab) took the session over: asking again
      // would only take it back. A later join here starts a session of its
      // own.
      idInMemory = '';
      store(sessionStorage, IdNickKey, '');
      if (joined)
        addEntry(reason || 'Bağlantı kapatıldı.', 'notice');
      ended(reason || 'Bu lakap kabul edilmedi; başka bir lakap deneyin.');
      return;
    }
    const wasJoined = joined;
    if (wasJoined)
      addEntry('Bağlantı koptu.', 'notice');
    retryLater(wasJoined ? 'Bağlantı koptu.' : 'Bağlantı kurulamadı.');
  }

  // Is a socket that looks open still alive? Asked whenever the page may have
  // missed its close: back from hidden, back online, after a sleep.
  function check() {
    if (!wanted)
      return;
    if (ws && ws.readyState === WebSocket.OPEN) {
      if (pongTimer)
        return;
      send({ t: 'ping' });
      pongTimer = setTimeout(() => {
        pongTimer = 0;
        if (joined)
          addEntry('Bağlantı koptu.', 'notice');
        retries = 0;
        retryLater('Bağlantı yanıt vermiyor.');
      }, PongWaitMs);
    } else if (!ws) {
      retries = 0;
      open();
    }
  }

  // The views

  function showLogin(text) {
    ui.chat.hidden = true;
    ui.leave.hidden = true;
    ui.login.hidden = false;
    showStatus(text);
    ui.nick.focus();
  }

  function ended(text) {
    wanted = false;
    joined = false;
    clearTimeout(retryTimer);
    abandon();
    updateTitle();
    showLogin(text);
  }

  function join(event) {
    event.preventDefault();
    const name = ui.nick.value.trim();
    if (!name) {
      showStatus('Önce bir lakap yazın.');
      ui.nick.focus();
      return;
    }
    nick = name;
    idInMemory = '';
    store(localStorage, NickKey, nick);
    wanted = true;
    everJoined = false;
    retries = 0;
    ui.login.hidden = true;
    ui.chat.hidden = false;
    ui.leave.hidden = false;
    ui.line.focus();
    open();
  }

  // The leave goes out at once; the gateway closes the socket after it.
  function leave() {
    if (!wanted)
      return;
    wanted = false;
    joined = false;
    clearTimeout(retryTimer);
    clearTimeout(pongTimer);
    pongTimer = 0;
    const socket = ws;
    if (socket && socket.readyState === WebSocket.OPEN) {
      socket.send(JSON.stringify({ t: 'leave' }));
      ws = null;
      socket.onmessage = socket.onclose = null;
      setTimeout(() => socket.close(), LeaveGraceMs);
    } else {
      abandon();
    }
    updateTitle();
  }

  function say(event) {
    event.preventDefault();
    const text = ui.line.value;
    if (!text)
      return;
    if (!joined) {
      showStatus('Bağlı değilsiniz; ileti gönderilmedi. Bağlantı kurulunca yeniden gönderin.', ui.retry.hidden === false);
      return;
    }
    const message = JSON.stringify({ t: 'say', text });
    if (new TextEncoder().encode(message).length > MaxMessageBytes) {
      showStatus('İleti çok uzun; bölerek gönderin.');
      return;
    }
    ws.send(message);
    ui.line.value = '';
  }

  ui.loginForm.addEventListener('submit', join);
  ui.sayForm.addEventListener('submit', say);
  ui.leave.addEventListener('click', () => {
    leave();
    showLogin('Sohbetten ayrıldınız.');
  });
  ui.retry.addEventListener('click', () => {
    if (wanted)
      again();
  });
  ui.conversation.addEventListener('scroll', () => {
    const c = ui.conversation;
    follow = c.scrollTop + c.clientHeight >= c.scrollHeight - 4;
  });
  // The on-screen keyboard shrinks the conversation: keep its end in view.
  new ResizeObserver(() => {
    if (follow)
      ui.conversation.scrollTop = ui.conversation.scrollHeight;
  }).observe(ui.conversation);

  document.addEventListener('visibilitychange', () => {
    seen();
    if (document.visibilityState === 'visible')
      check();
  });
  window.addEventListener('focus', seen);
  window.addEventListener('online', check);
  setInterval(() => {
    const now = Date.now();
    if (now - lastTick > SleepGapMs)
      check();
    lastTick = now;
  }, TickMs);

  // Closing or leaving the page is a leave, so the others see it at once.
  // A page kept in the back/forward cache joins again when it is shown.
  let rejoinOnShow = false;
  window.addEventListener('pagehide', () => {
    rejoinOnShow = wanted;
    leave();
  });
  window.addEventListener('pageshow', (event) => {
    if (event.persisted && rejoinOnShow) {
      wanted = true;
      everJoined = false;
      open();
    }
  });

  ui.nick.value = stored(localStorage, NickKey);
  showStatus('Lakabınızı yazıp “Bağlan”a basın.');
  updateTitle();
  if (!matchMedia('(pointer: coarse)').matches)
    ui.nick.focus();
})();
